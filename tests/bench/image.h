// Loads a fresh copy of the built Quell.dll with its import table bound by the
// test: every system function goes to the fake platform, or, for integration
// tests, the harmless ones to the real system and the rest still to fakes.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

enum class Binding { Fake, Real };

struct ImportedFunction {
    std::string dll;   // lower case
    std::string name;  // empty when imported by ordinal
    bool faked;
};

struct QuellImage {
    HMODULE module = nullptr;
    std::wstring path;
    BOOL(WINAPI *entry)(HINSTANCE, DWORD, LPVOID) = nullptr;
    std::vector<ImportedFunction> imports;
    bool attached = false;

    ~QuellImage();
    BOOL Notify(DWORD reason);  // runs the image's entry point
    void Detach();              // process detach, once

    FARPROC Export(const char *name) const;
    FARPROC Export(int ordinal) const;

    // Calls an export as a stdcall function with 32-bit arguments and checks
    // that it removed exactly its arguments from the stack.
    uint32_t Call(const char *name, std::initializer_list<uint32_t> args = {}) const;
    uint32_t Call(const char *name, const std::vector<uint32_t> &args) const;
    uint32_t CallOrdinal(int ordinal, std::initializer_list<uint32_t> args = {}) const;
};

// Copies, maps, binds and (unless attach is false) attaches a fresh image.
std::unique_ptr<QuellImage> LoadQuell(Binding binding = Binding::Fake, bool attach = true);

// Path of the built library next to the test executable.
std::wstring BuiltQuellPath();

extern "C" uint32_t CallStdcallChecked(void *fn, const uint32_t *args, int count, int *stackError);

// Pointer arguments as the 32-bit values that Call takes.
template <typename T> uint32_t Arg(T *pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pointer)); }
