// Local moments: the calendar arithmetic, reading --at and writing moments.
#include "moment.h"

#include "arguments.h"
#include "text.h"

namespace {

constexpr DWORD Day = 86400;
constexpr long Epoch = 3652;  // 1980-01-01 in days since 1970-01-01

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar, and back.
long DaysOf(long year, unsigned month, unsigned day) {
    year -= month <= 2;
    long era = (year >= 0 ? year : year - 399) / 400;
    unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long>(dayOfEra) - 719468;
}
void DateOf(long days, long &year, unsigned &month, unsigned &day) {
    days += 719468;
    long era = (days >= 0 ? days : days - 146096) / 146097;
    unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    unsigned shifted = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    month = shifted < 10 ? shifted + 3 : shifted - 9;
    year = static_cast<long>(yearOfEra) + era * 400 + (month <= 2);
}

// The local moment as a SYSTEMTIME, set field by field (no memset without a C runtime).
SYSTEMTIME TimeOf(DWORD moment) {
    long year;
    unsigned month, day;
    DateOf(static_cast<long>(moment / Day) + Epoch, year, month, day);
    DWORD time = moment % Day;
    SYSTEMTIME local;
    local.wYear = static_cast<WORD>(year);
    local.wMonth = static_cast<WORD>(month);
    local.wDayOfWeek = 0;
    local.wDay = static_cast<WORD>(day);
    local.wHour = static_cast<WORD>(time / 3600);
    local.wMinute = static_cast<WORD>(time / 60 % 60);
    local.wSecond = static_cast<WORD>(time % 60);
    local.wMilliseconds = 0;
    return local;
}

void AppendDate(Text &text, DWORD moment, const char *separator) {
    SYSTEMTIME time = TimeOf(moment);
    AppendNumber(text, time.wYear, 10, 4);
    AppendAscii(text, "-");
    AppendNumber(text, time.wMonth, 10, 2);
    AppendAscii(text, "-");
    AppendNumber(text, time.wDay, 10, 2);
    AppendAscii(text, separator);
}
void AppendTime(Text &text, DWORD moment, bool seconds) {
    SYSTEMTIME time = TimeOf(moment);
    AppendNumber(text, time.wHour, 10, 2);
    AppendAscii(text, ":");
    AppendNumber(text, time.wMinute, 10, 2);
    if (!seconds) return;
    AppendAscii(text, ":");
    AppendNumber(text, time.wSecond, 10, 2);
}

// Exactly the digits asked for, of at most max; what follows them, or null.
const wchar_t *ReadDigits(const wchar_t *text, int count, DWORD max, DWORD &value) {
    value = 0;
    if (!text) return nullptr;
    for (int i = 0; i < count; ++i, ++text) {
        if (!IsDigit(*text)) return nullptr;
        value = value * 10 + static_cast<DWORD>(*text - L'0');
    }
    return value <= max ? text : nullptr;
}
const wchar_t *Expect(const wchar_t *text, wchar_t c) { return text && *text == c ? text + 1 : nullptr; }

}  // namespace

DWORD MomentOf(const SYSTEMTIME &time) {
    long days = DaysOf(time.wYear, time.wMonth, time.wDay) - Epoch;
    if (days < 0) days = 0;  // a clock before 1980 counts from then
    return static_cast<DWORD>(days) * Day + time.wHour * 3600u + time.wMinute * 60u + time.wSecond;
}

DWORD Now(const Cli &cli) {
    SYSTEMTIME now;
    cli.host.GetLocalTime(&now);
    return MomentOf(now);
}

namespace {

// The local moment in UTC, where the system converts local times (XP on); the
// hour that repeats when daylight saving time ends as its first occurrence.
// occurs is false for a moment that the clock skips when it begins.
bool Universal(const Cli &cli, DWORD moment, DWORD &universal, bool &occurs) {
    const CliHost &host = cli.host;
    SYSTEMTIME local = TimeOf(moment), time, back;
    occurs = true;
    if (!host.TzSpecificLocalTimeToSystemTime || !host.TzSpecificLocalTimeToSystemTime(nullptr, &local, &time)) {
        return false;
    }
    universal = MomentOf(time);
    auto shows = [&](DWORD at) {
        time = TimeOf(at);
        return host.SystemTimeToTzSpecificLocalTime && host.SystemTimeToTzSpecificLocalTime(nullptr, &time, &back) &&
               MomentOf(back) == moment;
    };
    if (shows(universal - 3600)) {
        universal -= 3600;
    } else if (host.SystemTimeToTzSpecificLocalTime) {
        occurs = shows(universal);
    }
    return true;
}

}  // namespace

bool Occurs(const Cli &cli, DWORD moment) {
    DWORD universal;
    bool occurs;
    Universal(cli, moment, universal, occurs);
    return occurs;
}

DWORD SecondsUntil(const Cli &cli, DWORD moment) {
    // Through UTC where the system converts local times (XP on): a change to or
    // from daylight saving time before the moment then counts. Elsewhere the
    // local clock's difference.
    DWORD from;
    bool occurs;
    if (Universal(cli, moment, moment, occurs)) {
        SYSTEMTIME now;
        cli.host.GetSystemTime(&now);
        from = MomentOf(now);
    } else {
        from = Now(cli);
    }
    return moment > from ? moment - from : 0;
}

void AppendMoment(const Cli &cli, Text &text, DWORD moment) {
    if (moment / Day != Now(cli) / Day) AppendDate(text, moment, " ");
    AppendTime(text, moment, false);
}

void AppendIsoMoment(Text &text, DWORD moment) {
    AppendDate(text, moment, "T");
    AppendTime(text, moment, true);
}

bool ParseMoment(const Cli &cli, const wchar_t *text, DWORD &moment) {
    SYSTEMTIME at;
    cli.host.GetLocalTime(&at);
    DWORD now = MomentOf(at), year = at.wYear, month = at.wMonth, day = at.wDay, hour, minute;
    bool dated = text[0] && text[1] && text[2] && text[3] && text[4] == L'-';
    if (dated) {
        text = ReadDigits(text, 4, 9999, year);
        text = ReadDigits(Expect(text, L'-'), 2, 12, month);
        text = ReadDigits(Expect(text, L'-'), 2, 31, day);
        text = Expect(text, L'T');
        if (!text || year < 1980 || !month || !day) return false;
        // The day must exist in that month: the date read back is the same.
        long days = DaysOf(static_cast<long>(year), month, day);
        long check;
        unsigned checkMonth, checkDay;
        DateOf(days, check, checkMonth, checkDay);
        if (checkMonth != month || checkDay != day) return false;
    }
    // Further than ten years (the longest wait) is refused by the caller: no need to count it.
    if (year > at.wYear + 11u) {
        moment = ~DWORD(0);
        return true;
    }
    text = ReadDigits(text, 2, 23, hour);
    text = ReadDigits(Expect(text, L':'), 2, 59, minute);
    if (!text || *text) return false;
    at.wYear = static_cast<WORD>(year);
    at.wMonth = static_cast<WORD>(month);
    at.wDay = static_cast<WORD>(day);
    at.wHour = static_cast<WORD>(hour);
    at.wMinute = static_cast<WORD>(minute);
    at.wSecond = 0;
    moment = MomentOf(at);
    // HH:MM that has passed today: tomorrow's.
    if (!dated && moment <= now) moment += Day;
    return true;
}
