// quell --version: quell.exe's own version, then the loaded Quell.dll's.
#include <shlwapi.h>

#include "commands.h"
#include "load_quell.h"
#include "text.h"

int Version(Cli &cli) {
    Say(cli, STD_OUTPUT_HANDLE, L"quell.exe %S\n", QUELL_VERSION_STRING);
    if (!LibraryReady(cli)) return ExitNoLibrary;
    if (!cli.quell.DllGetVersion) {
        Say(cli, STD_ERROR_HANDLE, L"quell: DllGetVersion missing from Quell.dll\n");
        return ExitNoLibrary;
    }
    DLLVERSIONINFO version{};
    version.cbSize = sizeof version;
    HRESULT result = cli.quell.DllGetVersion(&version);
    Text path{};
    FormQuellPath(cli, path);
    if (result == S_OK) {
        Say(cli, STD_OUTPUT_HANDLE, L"Quell.dll %u.%u.%u (%s)\n", version.dwMajorVersion, version.dwMinorVersion,
            version.dwBuildNumber, path.data);
    } else {
        Say(cli, STD_ERROR_HANDLE, L"quell: the version of %s is unknown: DllGetVersion = 0x%X\n", path.data,
            static_cast<unsigned long>(result));
    }
    Release(path.data);
    return result == S_OK ? ExitSuccess : ExitFailed;
}
