// quell_probe.exe: loads the built library with the harmless functions bound to
// the system (everything else stays faked), asks its harmless questions and
// prints one "question=answer" line each. Run by the Wine tests under names of
// its own, so that Wine can act as another Windows version for it alone.
#include <cstdio>
#include <string>

#include "bench/test_support.h"

namespace {

struct VersionRecord {
    DWORD cbSize, major, minor, build, platform;
};

// One "question=result error" line, the result signed.
void Print(const std::string &question, const Answer &answer) {
    std::printf("%s=%ld %lu\n", question.c_str(), (long)(int32_t)answer.result, answer.error);
}

void AskQuell(const QuellImage &image, const char *question) {
    Print(question, Ask([&] { return image.Call(question); }));
}

}  // namespace

int main() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    std::printf("platform=%lu\nmajor=%lu\nminor=%lu\n", version.dwPlatformId, version.dwMajorVersion,
                version.dwMinorVersion);

    ResetFakePlatform();
    auto image = LoadQuell(Binding::Real);
    std::printf("loaded=%d\n", image ? 1 : 0);
    if (!image) return 1;

    for (const char *question : {"CheckWindowsNT", "CheckUserName", "CheckMsDosModus", "CheckSystemPowerStatus",
                                 "IsPwrSuspendAllowed", "IsPwrHibernateAllowed"})
        AskQuell(*image, question);
    // Hibernation is asked for only where the library refuses it outright.
    if (version.dwPlatformId != VER_PLATFORM_WIN32_NT || version.dwMajorVersion < 5)
        AskQuell(*image, "WindowsHibernate");

    VersionRecord record{sizeof record, 0, 0, 0, 0};
    uint32_t hr = image->Call("DllGetVersion", {Arg(&record)});
    std::printf("DllGetVersion=%lx %lu.%lu.%lu %lu\n", (unsigned long)hr, record.major, record.minor, record.build,
                record.platform);

    // The system's own answers, for the forwarders to be compared with.
    HMODULE powrprof = LoadLibraryA("powrprof.dll");
    auto direct = [&](const char *name) {
        auto fn = powrprof ? (BOOLEAN(WINAPI *)())GetProcAddress(powrprof, name) : nullptr;
        Print(std::string("system.") + name, fn ? Ask([&] { return (uint32_t)fn(); }) : NotAvailableAnswer);
    };
    direct("IsPwrSuspendAllowed");
    direct("IsPwrHibernateAllowed");

    image.reset();
    // In this mode GetProcAddress is the bench's guard, which logs the real look-ups it passes on.
    std::printf("fakeCalls=%u\n", (unsigned)(g_fake.log.size() - g_fake.Count("GetProcAddress")));
    return 0;
}
