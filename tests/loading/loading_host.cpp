// A program that loads Quell.dll from its own directory, as an application
// does, for the loading tests. One scenario per run, named by the argument:
//   queries  the harmless power and version exports, one "name=answer" a line
//   bare     powrprof.dll and version.dll loaded by bare name, as a program
//            that trusts the search order would, and one call into each
//   lock     the first call of the powrprof.dll group (IsPwrHibernateAllowed,
//            which Wine answers with 1, unlike a failure) on this thread while
//            loader_lock_helper.dll's attach step, on a second thread, holds
//            the loader lock and makes a first call of the same group
// Exit status 0: every step ran; 2: a library or export was missing; 3: the
// lock arrangement did not come about.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

#include <string>

namespace {

constexpr DWORD HandshakeMilliseconds = 5000;

struct VersionInfo {
    DWORD size, major, minor, build, platform;
};

std::string Beside(const char *file) {
    char exe[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string path(exe, length);
    return path.substr(0, path.find_last_of('\\') + 1) + file;
}

template <typename Function> Function Entry(HMODULE module, const char *name) {
    auto entry = reinterpret_cast<Function>(reinterpret_cast<void *>(GetProcAddress(module, name)));
    if (!entry) {
        printf("missing %s\n", name);
        fflush(stdout);
        ExitProcess(2);
    }
    return entry;
}

HMODULE Load(const std::string &file) {
    HMODULE module = LoadLibraryA(file.c_str());
    if (!module) {
        printf("cannot load %s: error %lu\n", file.c_str(), GetLastError());
        fflush(stdout);
        ExitProcess(2);
    }
    return module;
}

int Queries() {
    HMODULE quell = Load(Beside("Quell.dll"));
    VersionInfo version{sizeof version, 0, 0, 0, 0};
    HRESULT result = Entry<HRESULT(WINAPI *)(VersionInfo *)>(quell, "DllGetVersion")(&version);
    printf("DllGetVersion=0x%08lX %lu.%lu.%lu\n", static_cast<unsigned long>(result), version.major, version.minor,
           version.build);
    printf("IsPwrSuspendAllowed=%u\n", Entry<BOOLEAN(WINAPI *)()>(quell, "IsPwrSuspendAllowed")());
    printf("IsPwrHibernateAllowed=%u\n", Entry<BOOLEAN(WINAPI *)()>(quell, "IsPwrHibernateAllowed")());
    SYSTEM_POWER_CAPABILITIES capabilities{};
    BOOLEAN readable =
        Entry<BOOLEAN(WINAPI *)(SYSTEM_POWER_CAPABILITIES *)>(quell, "GetPwrCapabilities")(&capabilities);
    printf("GetPwrCapabilities=%u S1 %u S2 %u S3 %u S4 %u\n", readable, capabilities.SystemS1, capabilities.SystemS2,
           capabilities.SystemS3, capabilities.SystemS4);
    printf("CheckSystemPowerStatus=%ld\n",
           static_cast<long>(Entry<BOOL(WINAPI *)()>(quell, "CheckSystemPowerStatus")()));
    return 0;
}

int Bare() {
    HMODULE powrprof = Load("powrprof.dll");
    printf("IsPwrSuspendAllowed=%u\n", Entry<BOOLEAN(WINAPI *)()>(powrprof, "IsPwrSuspendAllowed")());
    HMODULE version = Load("version.dll");
    DWORD handle;
    printf("GetFileVersionInfoSizeA=%lu\n", Entry<DWORD(WINAPI *)(LPCSTR, DWORD *)>(version, "GetFileVersionInfoSizeA")(
                                                Beside("loading_host.exe").c_str(), &handle));
    return 0;
}

DWORD WINAPI LoadHelper(void *) { return LoadLibraryA(Beside("loader_lock_helper.dll").c_str()) ? 0 : GetLastError(); }

HANDLE HostEvent(const char *suffix) {
    char name[64];
    snprintf(name, sizeof name, "QuellLoaderLock-%lu-%s", GetCurrentProcessId(), suffix);
    return CreateEventA(nullptr, TRUE, FALSE, name);
}

int Lock() {
    HMODULE quell = Load(Beside("Quell.dll"));
    auto isPwrHibernateAllowed = Entry<BOOLEAN(WINAPI *)()>(quell, "IsPwrHibernateAllowed");
    HANDLE held = HostEvent("held"), calling = HostEvent("calling");
    HANDLE helperThread = CreateThread(nullptr, 0, LoadHelper, nullptr, 0, nullptr);
    if (!held || !calling || !helperThread || WaitForSingleObject(held, HandshakeMilliseconds) != WAIT_OBJECT_0) {
        printf("the helper's attach step never signalled\n");
        return 3;
    }
    SetEvent(calling);
    BOOLEAN answer = isPwrHibernateAllowed();
    WaitForSingleObject(helperThread, INFINITE);
    DWORD helperLoad = 0;
    GetExitCodeThread(helperThread, &helperLoad);
    if (helperLoad) {
        printf("cannot load loader_lock_helper.dll: error %lu\n", helperLoad);
        return 2;
    }
    auto helperAnswer = Entry<LONG(WINAPI *)()>(GetModuleHandleA("loader_lock_helper.dll"), "LoaderLockHelperAnswer");
    printf("thread=%u\nattach step=%ld\n", answer, static_cast<long>(helperAnswer()));
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    // Lines end in "\n" alone, as the test writes its expectations.
    _setmode(_fileno(stdout), _O_BINARY);
    int status = 2;
    if (argc == 2 && !strcmp(argv[1], "queries"))
        status = Queries();
    else if (argc == 2 && !strcmp(argv[1], "bare"))
        status = Bare();
    else if (argc == 2 && !strcmp(argv[1], "lock"))
        status = Lock();
    else
        printf("usage: loading_host queries|bare|lock\n");
    fflush(stdout);
    return status;
}
