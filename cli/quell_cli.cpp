// quell: one subcommand per operation of Quell.dll, plus a status report of the
// harmless answers. Operations that change the session run only with --yes.
//
// It chooses once, by the platform identifier, between Windows 95/98/Me, where
// it calls no W function and hands Quell.dll ANSI text, and every other
// system, where it keeps Unicode throughout.
#include "quell_cli.h"

#include "arguments.h"
#include "parse.h"
#include "dispatch.h"
#include "load_quell.h"
#include "messages.h"

namespace {

// Every other system has each W function that the front end calls. Where one
// is missing, it says so and stops: the ANSI path would hand ANSI text to
// Unicode exports of Quell.dll and of the system.
bool UnicodeComplete(const Cli &cli) {
    const CliHost &host = cli.host;
    Text lacking{};
    AppendMissing(lacking, CliHostLookedUpNames, LookedUpSlots(host), CliHostWideCount);
    bool complete = lacking.length == 0;
    if (!complete) {
        // Said through the ANSI output, which needs none of them.
        Cli ansiOutput(host, true, cli.version);
        Say(ansiOutput, STD_ERROR_HANDLE,
            "quell: this is not Windows 95/98/Me (platform %u), yet kernel32.dll lacks%s. quell.exe uses only "
            "Unicode functions on such a system and stops.\n",
            cli.version.dwPlatformId, lacking.data);
    }
    Release(lacking.data);
    return complete;
}

}  // namespace

int RunQuell(const CliHost &host) {
    OSVERSIONINFOA version;
    version.dwOSVersionInfoSize = sizeof version;
    // Only Windows 95/98/Me get ANSI. The numbers of a record that cannot be
    // read stay zero and count as Unicode, as Quell.dll counts them.
    version.dwMajorVersion = version.dwMinorVersion = version.dwBuildNumber = version.dwPlatformId = 0;
    host.GetVersionExA(&version);
    Cli cli(host, version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS, version);
    if (!cli.ansi && !UnicodeComplete(cli)) return ExitFailed;

    // One parser for both families, on the wide text; Windows 95/98/Me's
    // command line is ANSI.
    Text line{};
    if (cli.ansi) {
        const char *ansi = host.GetCommandLineA();
        int length = 0;
        while (ansi && ansi[length]) ++length;
        AppendAnsi(line, ansi, length);
    } else if (const wchar_t *wide = host.GetCommandLineW()) {
        Append(line, wide);
    }
    Append(line, L"", 0);
    auto values = static_cast<wchar_t **>(Grow(nullptr, (line.length + 2) * sizeof(wchar_t *)));
    auto chars = static_cast<wchar_t *>(Grow(nullptr, (line.length + 1) * sizeof(wchar_t)));
    int status = ExitFailed;
    if (line.data && values && chars) {
        Request request = {};
        status = ParseCommandLine(cli, SplitCommandLine(line.data, values, chars), values, request);
        if (status == ExitSuccess) status = Execute(cli, request);
        Release(request.after);
    }
    Release(chars);
    Release(values);
    Release(line.data);
    return status;
}
