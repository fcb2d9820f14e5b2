// quell: loads Quell.dll by name and reports its harmless answers.
#include <windows.h>

#include <cstdio>

namespace {

using Query = BOOL(WINAPI *)();

struct Report {
    const char *exportName;
    const char *meaning;
};

const Report Reports[] = {
    {"CheckWindowsNT", "NT-family system"},
    {"CheckUserName", "user name readable"},
    {"WindowsNTPrivilegien", "shutdown privilege obtainable"},
};

}  // namespace

int wmain() {
    HMODULE quell = LoadLibraryW(L"Quell.dll");
    if (!quell) {
        std::printf("Quell.dll could not be loaded (error %lu)\n", GetLastError());
        return 1;
    }
    for (const Report &report : Reports) {
        auto query = reinterpret_cast<Query>(GetProcAddress(quell, report.exportName));
        if (!query) {
            std::printf("%-22s missing from Quell.dll\n", report.exportName);
            continue;
        }
        SetLastError(0);
        BOOL result = query();
        DWORD error = GetLastError();
        std::printf("%-22s %-3s  (result %ld, last error %lu)  %s\n", report.exportName, result ? "yes" : "no",
                    (long)result, error, report.meaning);
    }
    FreeLibrary(quell);
    return 0;
}
