// quell_msdos_probe.exe: loads the built library with the harmless functions
// bound to Wine (the shell stays faked), asks CheckMsDosModus once and reports
// through its exit code.
#include "bench/fake_platform.h"
#include "bench/image.h"
#include "bench/msdos_probe.h"

int main() {
    ResetFakePlatform();
    auto image = LoadQuell(Binding::Real);
    if (!image) return (int)EncodeProbeReport({0, 0, 0, false, false});
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    auto check = (uint32_t(WINAPI *)())image->Export("CheckMsDosModus");
    SetLastError(0);
    uint32_t result = check();
    DWORD error = GetLastError();
    return (int)EncodeProbeReport({version.dwPlatformId, result, error, !g_fake.log.empty()});
}
