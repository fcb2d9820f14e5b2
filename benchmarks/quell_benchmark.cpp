// quell_benchmark: what Quell.dll costs its caller, measured under the running
// system. Each figure is the best of several rounds.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

// The x64 image is larger by its wider code and its unwind tables.
#ifdef _WIN64
constexpr const char *Architecture = "x64";
constexpr double QuellSizeTargetKiB = 16.0;
#else
constexpr const char *Architecture = "x86";
constexpr double QuellSizeTargetKiB = 12.0;
#endif

namespace {

constexpr int Rounds = 7;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return (double)t.QuadPart / (double)frequency.QuadPart;
}

// Best time per iteration, in nanoseconds.
template <typename Body> double NanosecondsPer(int iterations, Body body) {
    double best = 1e30;
    for (int round = 0; round < Rounds; ++round) {
        double start = Now();
        for (int i = 0; i < iterations; ++i) body();
        best = std::min(best, (Now() - start) / iterations * 1e9);
    }
    return best;
}

std::wstring Beside(const wchar_t *name) {
    wchar_t exe[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + name;
}

void Verdict(const char *what, double value, double target, const char *unit) {
    std::printf("%-44s %10.2f %-5s (target at most %.2f) %s\n", what, value, unit, target,
                value <= target ? "ok" : "OVER");
}

// A forwarder against a direct call of the same system function, both with
// arguments that make the system function do nothing.
template <typename Function, typename... Args>
void CompareForwarder(HMODULE quell, const char *system, const char *name, Args... args) {
    auto forwarder = (Function)GetProcAddress(quell, name);
    auto direct = (Function)GetProcAddress(GetModuleHandleA(system), name);
    if (!forwarder || !direct) {
        std::printf("%-44s not offered by this system\n", name);
        return;
    }
    forwarder(args...);  // loads its group
    constexpr int N = 200000;
    double viaQuell = NanosecondsPer(N, [&] { forwarder(args...); });
    double directly = NanosecondsPer(N, [&] { direct(args...); });
    std::printf("%-44s %10.1f ns via Quell, %.1f ns direct\n", name, viaQuell, directly);
    Verdict(("  ratio " + std::string(name)).c_str(), viaQuell / directly, 1.10, "x");
}

}  // namespace

int main() {
    // Any host has these loaded; the load cycle measures Quell.dll itself.
    for (const char *dll : {"advapi32.dll", "user32.dll", "shell32.dll", "version.dll", "powrprof.dll"})
        LoadLibraryA(dll);

    std::wstring quellPath = Beside(L"Quell.dll"), emptyPath = Beside(L"EmptyImage.dll");
    HMODULE quell = LoadLibraryW(quellPath.c_str());
    if (!quell) {
        std::printf("Quell.dll could not be loaded (error %lu)\n", GetLastError());
        return 1;
    }

    std::printf("Quell.dll benchmarks, %s build (each figure the best of several rounds)\n\n", Architecture);

    auto checkWindowsNT = (BOOL(WINAPI *)())GetProcAddress(quell, "CheckWindowsNT");
    std::printf("%-44s %10.1f ns\n", "CheckWindowsNT per call", NanosecondsPer(1000000, [&] { checkWindowsNT(); }));

    CompareForwarder<BOOL(WINAPI *)(HWND, LPCWSTR)>(quell, "user32.dll", "ShutdownBlockReasonCreate", (HWND) nullptr,
                                                    (LPCWSTR) nullptr);
    CompareForwarder<BOOLEAN(WINAPI *)()>(quell, "powrprof.dll", "IsPwrSuspendAllowed");

    // The two images take turns, round by round, so that drift in the system's
    // own speed touches both alike; each keeps its best round.
    constexpr int Cycles = 200, CycleRounds = 15;
    FreeLibrary(quell);  // the cycle must really map and unmap the image
    double quellCycle = 1e30, emptyCycle = 1e30;
    for (int round = 0; round < CycleRounds; ++round) {
        for (auto [path, best] : {std::pair{&quellPath, &quellCycle}, std::pair{&emptyPath, &emptyCycle}}) {
            double start = Now();
            for (int i = 0; i < Cycles; ++i) FreeLibrary(LoadLibraryW(path->c_str()));
            *best = std::min(*best, (Now() - start) / Cycles * 1e6);
        }
    }
    std::printf("%-44s %10.1f us Quell.dll, %.1f us empty image\n", "load and free cycle", quellCycle, emptyCycle);
    Verdict("  ratio load cycle", quellCycle / emptyCycle, 1.25, "x");

    // Both are shipped stripped, as built.
    const struct {
        const wchar_t *file;
        const char *label;
        double targetKiB;
    } shipped[] = {{L"Quell.dll", "size of the shipped Quell.dll", QuellSizeTargetKiB},
                   {L"quell.exe", "size of the shipped quell.exe", 48.0}};
    for (const auto &binary : shipped) {
        WIN32_FILE_ATTRIBUTE_DATA data;
        if (GetFileAttributesExW(Beside(binary.file).c_str(), GetFileExInfoStandard, &data))
            Verdict(binary.label, data.nFileSizeLow / 1024.0, binary.targetKiB, "KiB");
    }
    return 0;
}
