// An option's value, checked and filed in the request; shared by both syntaxes.
#include "arguments.h"
#include "messages.h"
#include "moment.h"
#include "parse.h"

namespace {

// A machine's name: \\NAME or NAME, and nothing that a name cannot hold.
bool IsMachineName(const wchar_t *name) {
    if (!*name) return false;
    for (; *name; ++name) {
        if (*name == L'\\' || *name == L'"' || *name == L' ' || *name == L'\t' || *name < 0x20) return false;
    }
    return true;
}

// A process id, or a program's file name without a directory.
bool IsProcess(const wchar_t *text) {
    DWORD length = Length(text), id;
    if (length && IsDigit(text[0])) return ParseWholeNumber(text, ~DWORD(0), id) && id;
    if (length < 5 || !SameName(text + length - 4, ".exe")) return false;
    for (; *text; ++text) {
        if (*text == L'\\' || *text == L'/' || *text == L':' || *text == L'"') return false;
    }
    return true;
}

}  // namespace

int StoreOption(const Cli &cli, OptionBit bit, const wchar_t *written, const wchar_t *value, Request &request) {
    bool twice = Has(request, bit);
    // A wait is given once: as a delay or as a moment.
    OptionBit other = bit == OptionAt ? OptionDelay : bit == OptionDelay ? OptionAt : bit;
    if (other != bit && Has(request, other)) {
        return UsageError(cli, "%s and %S: give one of them", written, OptionOf(other).name);
    }
    request.given |= bit;
    if (!OptionOf(bit).value) return ExitSuccess;  // a flag may be repeated
    if (twice && !OptionOf(bit).repeats) return UsageError(cli, "%s is given twice", written);
    switch (bit) {
    case OptionMessage: request.message = value; break;
    case OptionMachine:
        if (value[0] == L'\\' && value[1] == L'\\') value += 2;
        if (!IsMachineName(value)) {
            return UsageError(cli,
                              "%s needs a computer name: \\\\NAME or NAME, without blanks, quotes or further "
                              "backslashes, not %q",
                              written, value);
        }
        request.machine = value;
        break;
    case OptionDelay:
        if (!ParseWholeNumber(value, MaxDelay, request.delay)) {
            return UsageError(cli, "%s must be a whole number from 0 to %u, not %q", written, MaxDelay, value);
        }
        break;
    case OptionAt: {
        if (!ParseMoment(cli, value, request.at)) {
            return UsageError(cli, "%s must be a real time HH:MM or YYYY-MM-DDTHH:MM, not %q", written, value);
        }
        DWORD now = Now(cli);
        if (request.at <= now) return UsageError(cli, "%s %q has passed", written, value);
        if (!Occurs(cli, request.at)) {
            return UsageError(cli, "%s %q does not occur: daylight saving time skips it", written, value);
        }
        if (request.at - now > MaxDelay) {
            return UsageError(cli, "%s %q is more than ten years (%u seconds) from now", written, value, MaxDelay);
        }
        break;
    }
    case OptionAfter:
        if (!IsProcess(value)) {
            return UsageError(cli, "%s needs a process id or a program's file name NAME.exe, not %q", written, value);
        }
        // Its own end never comes.
        if (DWORD id; ParseWholeNumber(value, ~DWORD(0), id) && cli.host.GetCurrentProcessId &&
                      id == cli.host.GetCurrentProcessId()) {
            return UsageError(cli, "%s %q is the process id of this quell.exe, which would wait for itself", written,
                              value);
        }
        if (auto grown = static_cast<const wchar_t **>(Grow(request.after, (request.afterCount + 1) * sizeof value))) {
            request.after = grown;
            request.after[request.afterCount++] = value;
        }
        break;
    case OptionReason:
        if (!ParseReason(value, request.reason)) {
            return UsageError(cli, "%s must be [p:|u:]MAJOR:MINOR, MAJOR 0 to 255, MINOR 0 to 65535, not %q", written,
                              value);
        }
        break;
    default: break;
    }
    return ExitSuccess;
}
