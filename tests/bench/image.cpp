#include "bench/image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <iterator>

#include "bench/fake_platform.h"

namespace {

std::string Lower(std::string s) {
    for (char &c : s) c = (char)tolower((unsigned char)c);
    return s;
}

std::wstring FreshCopy() {
    static std::atomic<int> counter{0};
    wchar_t dir[MAX_PATH];
    GetTempPathW(MAX_PATH, dir);
    std::wstring path = std::wstring(dir) + L"quell-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                        std::to_wstring(counter++) + L".dll";
    if (!CopyFileW(BuiltQuellPath().c_str(), path.c_str(), FALSE)) return {};
    return path;
}

template <typename T> T *At(HMODULE base, DWORD rva) { return reinterpret_cast<T *>((BYTE *)base + rva); }

void *RealFunction(const std::string &dll, const char *name) {
    HMODULE module = LoadLibraryA(dll.c_str());
    return module ? (void *)GetProcAddress(module, name) : nullptr;
}

// Writes the test's choice into every import slot of the mapped image. The
// headers and thunks are those of the test's own architecture (<windows.h>
// picks PE32 on x86 and PE32+ on x64), which an image that loaded shares.
bool BindImports(QuellImage &image, Binding binding) {
    auto *dos = At<IMAGE_DOS_HEADER>(image.module, 0);
    auto *nt = At<IMAGE_NT_HEADERS>(image.module, dos->e_lfanew);
    if (nt->FileHeader.Machine != BuiltMachine || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR_MAGIC) {
        ADD_FAILURE() << "the image is not built for the test's architecture";
        return false;
    }
    IMAGE_DATA_DIRECTORY dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    image.entry =
        At<std::remove_pointer_t<decltype(image.entry)>>(image.module, nt->OptionalHeader.AddressOfEntryPoint);
    for (auto *desc = At<IMAGE_IMPORT_DESCRIPTOR>(image.module, dir.VirtualAddress); desc->Name; ++desc) {
        std::string dll = Lower(At<char>(image.module, desc->Name));
        auto *names =
            At<IMAGE_THUNK_DATA>(image.module, desc->OriginalFirstThunk ? desc->OriginalFirstThunk : desc->FirstThunk);
        auto *slots = At<IMAGE_THUNK_DATA>(image.module, desc->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) {
                ADD_FAILURE() << dll << " is imported by ordinal";
                return false;
            }
            const char *name = (const char *)At<IMAGE_IMPORT_BY_NAME>(image.module, names->u1.AddressOfData)->Name;
            bool real = binding == Binding::Real && IsHarmless(dll.c_str(), name);
            void *target = real ? RealFunction(dll, name) : FindFake(dll.c_str(), name);
            if (!target) {
                ADD_FAILURE() << "no fake for the import " << dll << "!" << name;
                return false;
            }
            image.imports.push_back({dll, name, !real});
            DWORD old;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old);
            slots->u1.Function = reinterpret_cast<uintptr_t>(target);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
        }
    }
    return true;
}

}  // namespace

std::wstring BuiltQuellPath() {
    wchar_t exe[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path(exe, n);
    return path.substr(0, path.find_last_of(L"\\/") + 1) + L"Quell.dll";
}

std::unique_ptr<QuellImage> LoadQuell(Binding binding, bool attach) {
    auto image = std::make_unique<QuellImage>();
    image->path = FreshCopy();
    if (image->path.empty()) {
        ADD_FAILURE() << "cannot copy the built Quell.dll";
        return nullptr;
    }
    image->module = LoadLibraryExW(image->path.c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!image->module) {
        ADD_FAILURE() << "cannot map the copy, error " << GetLastError();
        return nullptr;
    }
    if (!BindImports(*image, binding)) return nullptr;
    if (attach) {
        EXPECT_EQ(image->Notify(DLL_PROCESS_ATTACH), TRUE);
        image->attached = true;
    }
    return image;
}

QuellImage::~QuellImage() {
    Detach();
    if (module) FreeLibrary(module);
    if (!path.empty()) DeleteFileW(path.c_str());
}

BOOL QuellImage::Notify(DWORD reason) { return entry((HINSTANCE)module, reason, nullptr); }

void QuellImage::Detach() {
    if (!attached) return;
    attached = false;
    EXPECT_EQ(Notify(DLL_PROCESS_DETACH), TRUE);
}

FARPROC QuellImage::Export(const char *name) const { return GetProcAddress(module, name); }
FARPROC QuellImage::Export(int ordinal) const { return GetProcAddress(module, MAKEINTRESOURCEA(ordinal)); }

#ifdef _WIN64
uint32_t CallChecked(void *fn, const std::vector<uintptr_t> &args, int *stackError) {
    constexpr size_t MostArguments = 6;
    if (args.size() > MostArguments) {
        ADD_FAILURE() << "no export takes " << args.size() << " arguments";
        return 0xDEADBEEF;
    }
    constexpr uintptr_t Unused = 0x0BADA7660BADA766;
    uintptr_t slots[MostArguments];
    std::fill(std::begin(slots), std::end(slots), Unused);
    std::copy(args.begin(), args.end(), slots);
    // A callee reads only the arguments it takes; the caller owns the rest.
    using Export = uintptr_t (*)(uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t, uintptr_t);
    *stackError = 0;
    return (uint32_t) reinterpret_cast<Export>(fn)(slots[0], slots[1], slots[2], slots[3], slots[4], slots[5]);
}
#else
extern "C" uint32_t CallStdcallChecked(void *fn, const uintptr_t *args, int count, int *stackError);

uint32_t CallChecked(void *fn, const std::vector<uintptr_t> &args, int *stackError) {
    return CallStdcallChecked(fn, args.data(), (int)args.size(), stackError);
}
#endif

static uint32_t CallExport(FARPROC fn, const std::string &what, const std::vector<uintptr_t> &values) {
    if (!fn) {
        ADD_FAILURE() << "no export " << what;
        return 0xDEADBEEF;
    }
    int stackError = 0;
    uint32_t result = CallChecked((void *)fn, values, &stackError);
    EXPECT_EQ(stackError, 0) << what << " with " << values.size() << " arguments left the stack off by " << stackError
                             << " bytes";
    return result;
}

uint32_t QuellImage::Call(const char *name, std::initializer_list<uintptr_t> args) const {
    return CallExport(Export(name), name, args);
}

uint32_t QuellImage::Call(const char *name, const std::vector<uintptr_t> &args) const {
    return CallExport(Export(name), name, args);
}

uint32_t QuellImage::CallOrdinal(int ordinal, std::initializer_list<uintptr_t> args) const {
    return CallExport(Export(ordinal), std::string("#").append(std::to_string(ordinal)), args);
}
