// The built Quell.dll loaded as applications load it, in processes of their
// own (tests/loading/loading_host.cpp, quell.exe): stand-ins of the system
// libraries planted beside the program, and a first call of a late-bound group
// made under the loader lock while another thread's first call waits in
// LoadLibraryA for that lock.
#include <windows.h>
#include <powrprof.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/image.h"

namespace {

// Generous: a run that takes this long has hung.
constexpr DWORD HangMilliseconds = 20000;
constexpr UINT HungExitCode = 0xDEAD;

std::wstring BinDirectory() {
    std::wstring quell = BuiltQuellPath();
    return quell.substr(0, quell.find_last_of(L"\\/") + 1);
}

std::wstring LoadingDirectory() { return BinDirectory() + L"loading\\"; }

// A directory of its own for one test's programs and their logs, removed with
// everything in it.
struct ScratchDirectory {
    std::wstring path;
    ScratchDirectory() {
        static int count;
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path = std::wstring(temp) + L"quell-loading-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(++count) + L"\\";
        EXPECT_TRUE(CreateDirectoryW(path.c_str(), nullptr)) << "error " << GetLastError();
    }
    ~ScratchDirectory() {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((path + L"*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do DeleteFileW((path + found.cFileName).c_str());
            while (FindNextFileW(search, &found));
            FindClose(search);
        }
        RemoveDirectoryW(path.c_str());
    }
    void Copy(const std::wstring &file) const {
        std::wstring name = file.substr(file.find_last_of(L"\\/") + 1);
        EXPECT_TRUE(CopyFileW(file.c_str(), (path + name).c_str(), FALSE))
            << "cannot copy " << testing::PrintToString(file);
    }
    // The file's contents; empty when there is no such file.
    std::string Read(const std::wstring &name) const {
        std::string text;
        HANDLE file = CreateFileW((path + name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return text;
        char buffer[4096];
        DWORD n;
        while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n) text.append(buffer, n);
        CloseHandle(file);
        return text;
    }
};

// For programs of this name, Wine searches powrprof.dll and version.dll as
// Windows searches libraries that are not KnownDLLs: the program's directory
// first. Wine reads the setting when a process starts; a child does not take
// WINEDLLOVERRIDES from its parent's environment block.
struct PlantSearchFor {
    std::wstring key;
    explicit PlantSearchFor(const std::wstring &program) : key(L"Software\\Wine\\AppDefaults\\" + program) {
        HKEY overrides;
        EXPECT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (key + L"\\DllOverrides").c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                  nullptr, &overrides, nullptr),
                  0);
        for (const wchar_t *plant : {L"powrprof", L"version"})
            EXPECT_EQ(RegSetValueExW(overrides, plant, 0, REG_SZ, reinterpret_cast<const BYTE *>(L"native,builtin"),
                                     sizeof L"native,builtin"),
                      0);
        RegCloseKey(overrides);
    }
    ~PlantSearchFor() {
        RegDeleteKeyW(HKEY_CURRENT_USER, (key + L"\\DllOverrides").c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
    }
};

void CopyProgramBesidePlants(const ScratchDirectory &scratch, const std::wstring &program) {
    scratch.Copy(program);
    scratch.Copy(BuiltQuellPath());
    scratch.Copy(LoadingDirectory() + L"planted\\powrprof.dll");
    scratch.Copy(LoadingDirectory() + L"planted\\version.dll");
}

// What a plant wrote down: "attach" when loaded, then each function called.
std::string PlantLog(const ScratchDirectory &scratch, const wchar_t *plant) {
    return scratch.Read(std::wstring(plant) + L".log");
}

// A plant's log without its "attach" lines: the functions called.
std::string CallsIn(std::string log) {
    for (size_t at; (at = log.find("attach\n")) != log.npos;) log.erase(at, 7);
    return log;
}

struct ChildRun {
    bool ended;
    DWORD exitCode;
    std::string output;
};

// Runs "program arguments" in the scratch directory, killing it once it has
// hung. Standard output and error go to a file, so that nothing the program
// writes can block it.
ChildRun RunIn(const ScratchDirectory &scratch, const std::wstring &program, const std::wstring &arguments) {
    const std::wstring outputName = L"output.txt";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE output = CreateFileW((scratch.path + outputName).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(output, INVALID_HANDLE_VALUE);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output;
    startup.hStdError = output;
    PROCESS_INFORMATION process{};
    std::wstring exe = scratch.path + program;
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    BOOL started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  scratch.path.c_str(), &startup, &process);
    DWORD startError = GetLastError();
    CloseHandle(output);
    ChildRun run{false, 0, {}};
    if (!started) {
        ADD_FAILURE() << "cannot start " << testing::PrintToString(program) << ", error " << startError;
        return run;
    }
    run.ended = WaitForSingleObject(process.hProcess, HangMilliseconds) == WAIT_OBJECT_0;
    if (!run.ended) {
        TerminateProcess(process.hProcess, HungExitCode);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    run.output = scratch.Read(outputName);
    return run;
}

// The answers of the system's own libraries, in loading_host's "queries" format.
std::string SystemAnswersToQueries() {
    std::string answers;
    char line[128];
    // The built file's version as the system's version.dll reads it.
    const std::wstring quellPath = BuiltQuellPath();
    DWORD handle = 0, size = GetFileVersionInfoSizeW(quellPath.c_str(), &handle);
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    if (!size || !GetFileVersionInfoW(quellPath.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void **>(&fixed), &length) || !fixed) {
        ADD_FAILURE() << "the system cannot read the built Quell.dll's version";
        return {};
    }
    snprintf(line, sizeof line, "DllGetVersion=0x00000000 %u.%u.%u\n", HIWORD(fixed->dwFileVersionMS),
             LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS));
    answers += line;
    snprintf(line, sizeof line, "IsPwrSuspendAllowed=%u\nIsPwrHibernateAllowed=%u\n", IsPwrSuspendAllowed(),
             IsPwrHibernateAllowed());
    answers += line;
    SYSTEM_POWER_CAPABILITIES capabilities{};
    BOOLEAN readable = GetPwrCapabilities(&capabilities);
    snprintf(line, sizeof line, "GetPwrCapabilities=%u S1 %u S2 %u S3 %u S4 %u\n", readable, capabilities.SystemS1,
             capabilities.SystemS2, capabilities.SystemS3, capabilities.SystemS4);
    answers += line;
    // Quell's own conclusion from those answers, drawn in this process, where nothing is planted.
    HMODULE quell = LoadLibraryW(quellPath.c_str());
    auto checkSystemPowerStatus = quell ? reinterpret_cast<BOOL(WINAPI *)()>(
                                              reinterpret_cast<void *>(GetProcAddress(quell, "CheckSystemPowerStatus")))
                                        : nullptr;
    if (!checkSystemPowerStatus) {
        ADD_FAILURE() << "cannot load the built Quell.dll in the test";
        return {};
    }
    snprintf(line, sizeof line, "CheckSystemPowerStatus=%ld\n", static_cast<long>(checkSystemPowerStatus()));
    answers += line;
    FreeLibrary(quell);
    return answers;
}

// Quell.dll loaded beside stand-ins of powrprof.dll and version.dll, with Wine
// searching the program's directory for both: the queries answer as the
// system's libraries do, the powrprof.dll stand-in is never loaded and the
// version.dll one never called.
TEST(WineLoading, StandInsBesideTheProgramAreNeverCalled) {
    const std::string systemAnswers = SystemAnswersToQueries();
    const std::wstring quellExe = BinDirectory() + L"quell.exe";
    struct Case {
        std::wstring program;
        const wchar_t *arguments;
        std::string expectedOutput;  // empty: any
    } cases[] = {
        {LoadingDirectory() + L"loading_host.exe", L"queries", systemAnswers},
        {quellExe, L"status", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.program));
        ScratchDirectory scratch;
        CopyProgramBesidePlants(scratch, c.program);
        std::wstring name = c.program.substr(c.program.find_last_of(L"\\/") + 1);
        PlantSearchFor search(name);
        ChildRun run = RunIn(scratch, name, c.arguments);
        ASSERT_TRUE(run.ended) << "hung";
        EXPECT_EQ(run.exitCode, 0u) << run.output;
        if (!c.expectedOutput.empty()) {
            EXPECT_EQ(run.output, c.expectedOutput);
        }
        EXPECT_EQ(PlantLog(scratch, L"powrprof.dll"), "") << "the planted powrprof.dll ran";
        // Wine's own user32.dll imports version.dll (Windows' does not), so Wine
        // attaches this plant itself; nothing may call it.
        EXPECT_EQ(CallsIn(PlantLog(scratch, L"version.dll")), "") << "the planted version.dll was called";
    }
}

// The control: the same stand-ins, loaded by bare name from the same kind of
// directory, do run; were they never found, the test above would prove nothing.
TEST(WineLoading, PlantsRunWhenAProgramLoadsThemByBareName) {
    ScratchDirectory scratch;
    CopyProgramBesidePlants(scratch, LoadingDirectory() + L"loading_host.exe");
    PlantSearchFor search(L"loading_host.exe");
    ChildRun run = RunIn(scratch, L"loading_host.exe", L"bare");
    ASSERT_TRUE(run.ended) << "hung";
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(run.output, "IsPwrSuspendAllowed=0\nGetFileVersionInfoSizeA=0\n");
    EXPECT_EQ(PlantLog(scratch, L"powrprof.dll"), "attach\nIsPwrSuspendAllowed\n");
    EXPECT_EQ(PlantLog(scratch, L"version.dll"), "attach\nGetFileVersionInfoSizeA\n");
}

// One thread's first call of the powrprof.dll group waits inside LoadLibraryA
// for the loader lock, which a second thread holds in a library's attach step
// while it makes a first call of the same group. Neither call may wait for the
// other: both answer as the system does, and the process ends.
TEST(WineLoading, FirstCallUnderTheLoaderLockDoesNotWaitForAnotherThreadsLoad) {
    ScratchDirectory scratch;
    scratch.Copy(LoadingDirectory() + L"loading_host.exe");
    scratch.Copy(LoadingDirectory() + L"loader_lock_helper.dll");
    scratch.Copy(BuiltQuellPath());
    ChildRun run = RunIn(scratch, L"loading_host.exe", L"lock");
    ASSERT_TRUE(run.ended) << "deadlocked: killed after " << HangMilliseconds / 1000 << " s";
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    unsigned system = IsPwrHibernateAllowed();
    EXPECT_EQ(run.output, "thread=" + std::to_string(system) + "\nattach step=" + std::to_string(system) + "\n");
}

}  // namespace
