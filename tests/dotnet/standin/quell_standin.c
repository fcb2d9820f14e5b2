/* A recording stand-in of Quell.dll: every export by its name and ordinal
 * (standin_exports.h is made from res/Quell.def), each appending a line
 * "Name(arguments)" to the file QUELL_STANDIN_LOG names and answering as
 * QUELL_STANDIN_SCRIPT says: "Name=result/error,..." sets the result and the
 * last-error value (default: 1 and 0; 0 for the exports that answer with an
 * error code). DllGetVersion gives the project's version; GetPwrCapabilities
 * fills the record with 1 at the byte offsets QUELL_STANDIN_CAPS lists.
 * The environment is read through kernel32 on every call, so that a .NET
 * caller's Environment.SetEnvironmentVariable reaches it. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "standin_exports.h"

/* How each argument is written: W wide text, A ANSI text, p a pointer (NULL or
 * ptr, as addresses differ between processes), n a number (every export not
 * listed, and arguments past the listed ones). Results default to 1 but for
 * those listed with 0. */
static const struct {
    const char *name, *kinds;
    int result;
} Exports[] = {
    {"DllGetVersion", "p", 0},
    {"GetPwrCapabilities", "p", 1},
    {"ShutdownDialog", "p", 1},
    {"RestartDialog", "pW", 1},
    {"InitiateShutdownW", "WW", 0},
    {"InitiateShutdownA", "AA", 0},
    {"InitiateSystemShutdownExW", "WW", 1},
    {"InitiateSystemShutdownExA", "AA", 1},
    {"ShutdownBlockReasonQuery", "npp", 1},
    {"ShutdownBlockReasonCreate", "nW", 1},
    {"LocalInitSystemRebootW", "W", 1},
    {"LocalInitSystemRebootA", "A", 1},
    {"LocalInitSystemShutdownW", "W", 1},
    {"LocalInitSystemShutdownA", "A", 1},
};

static char *Environment(const char *name) {
    static char value[4096];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length && length < sizeof value ? value : NULL;
}

static void WriteText(FILE *log, const char *kind, uintptr_t value) {
    if (!value) {
        fputs("NULL", log);
    } else if (*kind == 'p') {
        fputs("ptr", log);
    } else if (*kind == 'A') {
        fprintf(log, "\"%s\"", (const char *)value);
    } else {
        char utf8[4096];
        int length = WideCharToMultiByte(CP_UTF8, 0, (const wchar_t *)value, -1, utf8, sizeof utf8, NULL, NULL);
        fprintf(log, "\"%s\"", length ? utf8 : "?");
    }
}

/* The scripted answer for the export: result and last-error value. */
static void Scripted(const char *name, int *result, DWORD *error) {
    const char *script = Environment("QUELL_STANDIN_SCRIPT");
    size_t length = strlen(name);
    for (const char *at = script; at && *at; at = strchr(at, ',') ? strchr(at, ',') + 1 : NULL) {
        if (strncmp(at, name, length) == 0 && at[length] == '=') {
            char *end;
            *result = (int)strtol(at + length + 1, &end, 0);
            if (*end == '/') *error = (DWORD)strtoul(end + 1, NULL, 0);
            return;
        }
    }
}

static uintptr_t Record(const char *name, const uintptr_t *values, unsigned count) {
    const char *kinds = "";
    int result = 1;
    DWORD error = 0;
    for (unsigned i = 0; i < sizeof Exports / sizeof Exports[0]; ++i) {
        if (strcmp(Exports[i].name, name) == 0) kinds = Exports[i].kinds, result = Exports[i].result;
    }
    const char *path = Environment("QUELL_STANDIN_LOG");
    FILE *log = path ? fopen(path, "a") : NULL;
    if (log) {
        fprintf(log, "%s(", name);
        for (unsigned i = 0; i < count; ++i, kinds += *kinds != 0) {
            if (i) fputs(", ", log);
            if (*kinds && *kinds != 'n') {
                WriteText(log, kinds, values[i]);
            } else {
                fprintf(log, "0x%X", (unsigned)values[i]); /* every number is 32 bits wide */
            }
        }
        fputs(")\n", log);
        fclose(log);
    }
    Scripted(name, &result, &error);
    if (strcmp(name, "DllGetVersion") == 0 && result == 0) {
        DWORD *info = (DWORD *)values[0]; /* DLLVERSIONINFO: size, major, minor, build, platform */
        info[1] = QUELL_VERSION_MAJOR, info[2] = QUELL_VERSION_MINOR, info[3] = QUELL_VERSION_PATCH, info[4] = 2;
    }
    if (strcmp(name, "GetPwrCapabilities") == 0 && result) {
        unsigned char *record = (unsigned char *)values[0];
        memset(record, 0, 76);
        const char *offsets = Environment("QUELL_STANDIN_CAPS");
        for (char *end; offsets && *offsets; offsets = end + (*end != 0)) {
            unsigned long offset = strtoul(offsets, &end, 10);
            if (end == offsets) break;
            if (offset < 76) record[offset] = 1;
        }
    }
    SetLastError(error);
    return (uintptr_t)(intptr_t)result;
}

/* Each export takes as many arguments as its stdcall size in res/Quell.def
 * says (4 bytes each on x86; none is wider than a pointer). */
#define STANDIN_ARGS_0 void
#define STANDIN_ARGS_4 uintptr_t a
#define STANDIN_ARGS_8 STANDIN_ARGS_4, uintptr_t b
#define STANDIN_ARGS_12 STANDIN_ARGS_8, uintptr_t c
#define STANDIN_ARGS_16 STANDIN_ARGS_12, uintptr_t d
#define STANDIN_ARGS_20 STANDIN_ARGS_16, uintptr_t e
#define STANDIN_ARGS_24 STANDIN_ARGS_20, uintptr_t f
#define STANDIN_VALUES_0 0
#define STANDIN_VALUES_4 a
#define STANDIN_VALUES_8 STANDIN_VALUES_4, b
#define STANDIN_VALUES_12 STANDIN_VALUES_8, c
#define STANDIN_VALUES_16 STANDIN_VALUES_12, d
#define STANDIN_VALUES_20 STANDIN_VALUES_16, e
#define STANDIN_VALUES_24 STANDIN_VALUES_20, f
#define STANDIN_EXPORT(ordinal, name, bytes)                                                                           \
  uintptr_t WINAPI Standin_##name(STANDIN_ARGS_##bytes);                                                               \
  uintptr_t WINAPI Standin_##name(STANDIN_ARGS_##bytes) {                                                              \
    const uintptr_t values[] = {STANDIN_VALUES_##bytes};                                                               \
    return Record(#name, values, bytes / 4);                                                                           \
  }
QUELL_EXPORTS(STANDIN_EXPORT)
