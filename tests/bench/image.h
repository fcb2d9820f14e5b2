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

    // Calls an export with pointer-wide argument slots (CallChecked) and
    // expects no stack error. Every export answers in at most 32 bits.
    uint32_t Call(const char *name, std::initializer_list<uintptr_t> args = {}) const;
    uint32_t Call(const char *name, const std::vector<uintptr_t> &args) const;
    uint32_t CallOrdinal(int ordinal, std::initializer_list<uintptr_t> args = {}) const;
};

// Copies, maps, binds and (unless attach is false) attaches a fresh image.
std::unique_ptr<QuellImage> LoadQuell(Binding binding = Binding::Fake, bool attach = true);

// Path of the built library next to the test executable.
std::wstring BuiltQuellPath();

// How calling and loading differ between the architectures the bench is built
// for; image.cpp holds the rest. x86: exports are stdcall, and a call checks
// that the export removed exactly its arguments from the stack. x64 has one
// calling convention, in which the caller removes them: nothing to check.
constexpr bool StackDisciplineChecked = sizeof(void *) == 4;
constexpr WORD BuiltMachine = sizeof(void *) == 4 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;

// Calls fn with these arguments and returns the low 32 bits of its result. On
// x86 stackError is how many bytes the callee removed beyond (positive) or
// short of (negative) its arguments; on x64 it is 0, and the argument slots
// beyond the given ones hold a marker, so that an export that passes on an
// argument it never took shows in the fake's log.
uint32_t CallChecked(void *fn, const std::vector<uintptr_t> &args, int *stackError);

// A pointer as the argument value that Call takes.
template <typename T> uintptr_t Arg(T *pointer) { return reinterpret_cast<uintptr_t>(pointer); }
