#include "bench/probe_run.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>

#include "bench/image.h"

namespace {

std::wstring Beside(const std::string &name) {
    std::wstring path = BuiltQuellPath();
    return path.substr(0, path.find_last_of(L"\\/") + 1) + std::wstring(name.begin(), name.end());
}

// Wine reads HKCU\Software\Wine\AppDefaults\<exe>\Version when a process starts.
struct WineVersionFor {
    std::string key;
    bool set = false;
    WineVersionFor(const std::string &exe, const std::string &version) : key("Software\\Wine\\AppDefaults\\" + exe) {
        if (version.empty()) return;
        HKEY handle;
        EXPECT_EQ(
            RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr),
            0);
        EXPECT_EQ(RegSetValueExA(handle, "Version", 0, REG_SZ, (const BYTE *)version.c_str(), version.size() + 1), 0);
        RegCloseKey(handle);
        set = true;
    }
    ~WineVersionFor() {
        if (set) {
            EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str()), 0);
        }
    }
};

std::string RunAndRead(const std::wstring &exe) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return {};
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + exe + L"\"";
    BOOL started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &process);
    CloseHandle(writeEnd);
    std::string output;
    if (started) {
        char buffer[4096];
        DWORD n;
        while (ReadFile(readEnd, buffer, sizeof buffer, &n, nullptr) && n) output.append(buffer, n);
        WaitForSingleObject(process.hProcess, 60000);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        ADD_FAILURE() << "cannot start the probe, error " << GetLastError();
    }
    CloseHandle(readEnd);
    return output;
}

}  // namespace

ProbeAnswers RunProbe(const std::string &name, const std::string &wineVersion, bool withManifest) {
    std::wstring copy = Beside(name + ".exe");
    if (!CopyFileW(Beside(withManifest ? "quell_probe_manifest.exe" : "quell_probe.exe").c_str(), copy.c_str(),
                   FALSE)) {
        ADD_FAILURE() << "cannot copy the probe to " << name << ".exe";
        return {};
    }
    std::string output;
    {
        WineVersionFor version(name + ".exe", wineVersion);
        output = RunAndRead(copy);
    }
    DeleteFileW(copy.c_str());
    ProbeAnswers answers;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t equals = line.find('=');
        if (equals != line.npos) answers[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return answers;
}
