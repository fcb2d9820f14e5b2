// quell --version: quell.exe's own version, then the loaded Quell.dll's.
#include <shlwapi.h>

#include "plan.h"
#include "reports.h"
#include "load_quell.h"
#include "messages.h"

int Version(Cli &cli) {
    Say(cli, STD_OUTPUT_HANDLE, "quell.exe %S\n", QUELL_VERSION_STRING);
    if (!LibraryReady(cli)) return ExitNoLibrary;
    const char *entry = ExportName(Export_DllGetVersion);
    if (!cli.quell.DllGetVersion) return SayMissing(cli, entry);
    DLLVERSIONINFO version{};
    version.cbSize = sizeof version;
    HRESULT result = cli.quell.DllGetVersion(&version);
    if (result != S_OK) {
        Say(cli, STD_ERROR_HANDLE, "quell: Quell.dll's version is unknown: %S = 0x%X\n", entry,
            static_cast<unsigned long>(result));
        return ExitFailed;
    }
    Text path{};
    FormQuellPath(cli, path);
    Say(cli, STD_OUTPUT_HANDLE, "Quell.dll %u.%u.%u (%s)\n", version.dwMajorVersion, version.dwMinorVersion,
        version.dwBuildNumber, path.data);
    Release(path.data);
    return ExitSuccess;
}
