// The powrprof group and its forwarders, CheckSystemPowerStatus, and standby
// and hibernate: the capability test, the privilege and the request.
#include <gtest/gtest.h>

#include <cstring>

#include "bench/export_table.h"
#include "bench/fakes_files.h"
#include "bench/fakes_latebound.h"
#include "bench/test_support.h"

namespace {

constexpr DWORD NotImplemented = ERROR_CALL_NOT_IMPLEMENTED;
constexpr DWORD NotSupported = ERROR_NOT_SUPPORTED;
constexpr DWORD FakeSuspendError = ERROR_GEN_FAILURE;

// A system of neither family that reports major version 6.
const OsProfile NeitherFamily6{"neither-6.0", 0, 6, 0, 0, false};

// What the power side of the fake machine answers.
struct Machine {
    bool library = true;              // powrprof.dll loads
    const char *missing[2] = {};      // its entries that are not there
    uint32_t suspendAllowed = 1;      // IsPwrSuspendAllowed
    uint32_t hibernateAllowed = 1;    // IsPwrHibernateAllowed
    uint32_t capabilitiesResult = 1;  // GetPwrCapabilities
    const char *states = "1234H";     // capabilities set: S1 to S4, H the hibernation file, M Modern Standby
    int acLine = 1;                   // GetSystemPowerStatus; -1: it fails
};

// Byte 20 of the record: AoAc, S0 low-power idle (MinGW's spare2[2]).
constexpr size_t ModernStandbyByte = 20;

std::unique_ptr<QuellImage> Start(const OsProfile &profile, const Machine &m = {}) {
    auto image = StartQuell(profile);
    FakeSystemLibrary &powrprof = g_lateBound.libraries["powrprof.dll"];
    powrprof.present = m.library;
    for (const char *entry : m.missing)
        if (entry) powrprof.missing.insert(entry);
    g_lateBound.results["IsPwrSuspendAllowed"] = m.suspendAllowed;
    g_lateBound.results["IsPwrHibernateAllowed"] = m.hibernateAllowed;
    g_lateBound.results["GetPwrCapabilities"] = m.capabilitiesResult;
    SYSTEM_POWER_CAPABILITIES capabilities{};
    for (const char *s = m.states; *s; ++s)
        (*s == 'M'   ? reinterpret_cast<BYTE *>(&capabilities)[ModernStandbyByte]
         : *s == '1' ? capabilities.SystemS1
         : *s == '2' ? capabilities.SystemS2
         : *s == '3' ? capabilities.SystemS3
         : *s == '4' ? capabilities.SystemS4
                     : capabilities.HiberFilePresent) = TRUE;
    g_lateBound.capabilities = capabilities;
    g_lateBound.powerStatusFails = m.acLine < 0;
    g_lateBound.acLineStatus = (BYTE)m.acLine;
    SetLastError(UntouchedError);
    return image;
}

Names Questions() {
    return CallsAmong({"GetPwrCapabilities", "IsPwrSuspendAllowed", "IsPwrHibernateAllowed", "GetSystemPowerStatus"});
}

// Calls an export with zero (null) for each of its arguments.
uint32_t CallWithZeros(QuellImage &image, const char *name) {
    return image.Call(name, Args(ExportNamed(name).arguments, 0));
}

const Names PowrProfEntries = {"IsPwrSuspendAllowed", "IsPwrHibernateAllowed", "SetSuspendState", "GetPwrCapabilities"};

// ---- The four forwarders

SYSTEM_POWER_CAPABILITIES CallersRecord;

struct Forwarder {
    const char *name;
    Args args;
    Args passed;
};

const Forwarder Forwarders[] = {
    {"IsPwrSuspendAllowed", {}, {}},
    {"IsPwrHibernateAllowed", {}, {}},
    {"SetSuspendState", {0x100, 0x1FF, 0xFFFFFF01}, {0, 0xFF, 1}},  // the low byte of each slot, alone
    {"GetPwrCapabilities", {Arg(&CallersRecord)}, {Arg(&CallersRecord)}},
};

// A BOOLEAN result is its low byte: a system TRUE of 1 stays 1, 0x2A stays 0x2A.
TEST(PowerForwarders, PassTheSystemsBooleanAndTheArgumentsThroughUnchanged) {
    for (const Forwarder &f : Forwarders) {
        for (uint32_t systemResult : {1u, 0x2Au, 0xABCD0001u, 0u}) {
            SCOPED_TRACE(std::string(f.name) + " answering " + std::to_string(systemResult));
            auto image = Start(os::WinXP);
            g_lateBound.results[f.name] = systemResult;
            g_lateBound.entryError = systemResult ? 0 : FakeSuspendError;
            EXPECT_EQ(image->Call(f.name, f.args) & 0xFF, systemResult & 0xFF);
            EXPECT_EQ(GetLastError(), systemResult ? UntouchedError : FakeSuspendError);
            ASSERT_EQ(g_fake.Count(f.name), 1u);
            EXPECT_EQ(g_fake.Last(f.name)->args, f.passed);
            EXPECT_EQ(g_fake.Count("SetLastError"), 0u);
        }
    }
}

TEST(PowerForwarders, GetPwrCapabilitiesFillsTheCallersRecordAndPassesNullOn) {
    auto image = Start(os::Win7, {.states = "3H"});
    SYSTEM_POWER_CAPABILITIES record;
    memset(&record, 0xCC, sizeof record);
    EXPECT_EQ(image->Call("GetPwrCapabilities", {Arg(&record)}) & 0xFF, 1u);
    EXPECT_EQ(memcmp(&record, &g_lateBound.capabilities, sizeof record), 0);
    g_lateBound.results["GetPwrCapabilities"] = 0;
    EXPECT_EQ(image->Call("GetPwrCapabilities", {0}) & 0xFF, 0u);
    EXPECT_EQ(g_fake.Last("GetPwrCapabilities")->args, Args{0});
}

// Only the missing entry answers "not available"; the others still work and
// nothing is looked up again.
TEST(PowerForwarders, EntryMissingFromALoadedLibrary) {
    for (const Forwarder &f : Forwarders) {
        SCOPED_TRACE(f.name);
        auto image = Start(os::Win10, {.missing = {f.name}});
        for (int call = 0; call < 2; ++call) {
            SetLastError(UntouchedError);
            EXPECT_EQ(image->Call(f.name, f.args), 0u);
            EXPECT_EQ(GetLastError(), NotImplemented);
        }
        EXPECT_EQ(g_fake.Count("LoadLibraryA"), 1u);
        EXPECT_EQ(g_fake.Count("GetProcAddress"), 4u);
        EXPECT_EQ(g_fake.Count(f.name), 0u);
        for (const Forwarder &sibling : Forwarders)
            if (&sibling != &f) {
                EXPECT_EQ(image->Call(sibling.name, sibling.args) & 0xFF, 1u) << sibling.name;
            }
    }
}

// Without powrprof.dll every call tries to load it again; once it is there it is used.
TEST(PowerForwarders, LibraryAbsentIsTriedAgainOnEveryCall) {
    for (const Forwarder &f : Forwarders) {
        SCOPED_TRACE(f.name);
        auto image = Start(os::WinXP, {.library = false});
        for (int attempt = 1; attempt <= 2; ++attempt) {
            SetLastError(UntouchedError);
            EXPECT_EQ(image->Call(f.name, f.args), 0u);
            EXPECT_EQ(GetLastError(), NotImplemented);
            EXPECT_EQ(LoggedTexts("LoadLibraryA"), Names(attempt, SystemPath("powrprof.dll")));
        }
        g_lateBound.libraries["powrprof.dll"].present = true;
        g_lateBound.results[f.name] = 0x2A;
        EXPECT_EQ(image->Call(f.name, f.args) & 0xFF, 0x2Au);
        EXPECT_EQ(g_fake.Count(f.name), 1u);
    }
}

// ---- CheckSystemPowerStatus

struct StatusCase {
    const char *name;
    OsProfile profile;
    Machine machine;
    Names questions;
    uint32_t expected;
    DWORD error = UntouchedError;
};

TEST(CheckSystemPowerStatus, EveryPath) {
    const Names Capabilities = {"GetPwrCapabilities"}, Suspend = {"IsPwrSuspendAllowed"},
                CapabilitiesThenSuspend = {"GetPwrCapabilities", "IsPwrSuspendAllowed"},
                PowerStatus = {"GetSystemPowerStatus"};
    const StatusCase cases[] = {
        // No powrprof.dll: the AC line status, when the system can tell it; LoadLibraryA's
        // last-error value stays.
        {"no powrprof, off line", os::WinXP, {.library = false, .acLine = 0}, PowerStatus, QuellTrue, FakeLoadError},
        {"no powrprof, on line", os::Win98, {.library = false, .acLine = 1}, PowerStatus, QuellTrue, FakeLoadError},
        {"no powrprof, line unknown", os::Win10, {.library = false, .acLine = 255}, PowerStatus, 0, FakeLoadError},
        {"no powrprof, status fails", os::Win7, {.library = false, .acLine = -1}, PowerStatus, 0, FakePowerStatusError},
        {"nt4, no powrprof, on line", os::NT4, {.library = false, .acLine = 1}, PowerStatus, QuellTrue, FakeLoadError},
        // Below major version 6: IsPwrSuspendAllowed's BOOLEAN as it is.
        {"xp, a system true of 1", os::WinXP, {.suspendAllowed = 1}, Suspend, 1},
        {"win98, 0x2A", os::Win98, {.suspendAllowed = 0x2A}, Suspend, 0x2A},
        {"win2000, false", os::Win2000, {.suspendAllowed = 0}, Suspend, 0},
        {"xp, 0x100 is false", os::WinXP, {.suspendAllowed = 0x100}, Suspend, 0},
        {"nt4, entry missing", os::NT4, {.missing = {"IsPwrSuspendAllowed"}}, {}, 0, NotImplemented},
        // Major version 6 on: any one of S1 to S3.
        {"vista, S3 alone", os::Vista, {.states = "3"}, Capabilities, QuellTrue},
        {"win10, S1 alone", os::Win10, {.states = "1"}, Capabilities, QuellTrue},
        {"win7, S2 alone", os::Win7, {.states = "2"}, Capabilities, QuellTrue},
        {"vista, none though suspend allowed", os::Vista, {.states = "4H"}, Capabilities, 0},
        {"win11, Modern Standby alone", os::Win10, {.states = "4HM"}, Capabilities, 0},
        {"neither family 6.0, S3", NeitherFamily6, {.states = "3"}, Capabilities, QuellTrue},
        {"win7, capabilities fail",
         os::Win7,
         {.suspendAllowed = 1, .capabilitiesResult = 0},
         CapabilitiesThenSuspend,
         1},
        {"win7, capabilities 0x100",
         os::Win7,
         {.suspendAllowed = 0, .capabilitiesResult = 0x100},
         CapabilitiesThenSuspend,
         0},
        {"win8, capabilities missing", os::Win8, {.missing = {"GetPwrCapabilities"}}, Suspend, 1, NotImplemented},
        {"win10, both missing",
         os::Win10,
         {.missing = {"GetPwrCapabilities", "IsPwrSuspendAllowed"}},
         {},
         0,
         NotImplemented},
    };
    for (const StatusCase &c : cases) {
        SCOPED_TRACE(c.name);
        auto image = Start(c.profile, c.machine);
        EXPECT_EQ(image->Call("CheckSystemPowerStatus"), c.expected);
        EXPECT_EQ(GetLastError(), c.error);
        EXPECT_EQ(Questions(), c.questions);
    }
}

// ---- Standby and hibernate

const Call StandbyByPowrProf{"SetSuspendState", {0, 0, 0xFF}, ""};
const Call HibernateByPowrProf{"SetSuspendState", {0xFF, 0, 0xFF}, ""};
const Call StandbyByKernel{"SetSystemPowerState", {0xFFFFFFFF, 0}, ""};
const Call HibernateByKernel{"SetSystemPowerState", {0, 0}, ""};
const Call Refused{};

std::vector<Call> Requests() {
    std::vector<Call> requests;
    for (const Call &c : g_fake.log)
        if (c.name == "SetSuspendState" || c.name == "SetSystemPowerState") requests.push_back(c);
    return requests;
}

struct SleepCase {
    const char *name;
    const char *exportName;
    OsProfile profile;
    Machine machine;
    Names questions;
    Call request;  // Refused: no privilege handling and no request
    DWORD refusalError = UntouchedError;
};

const Names Capabilities = {"GetPwrCapabilities"}, Suspend = {"IsPwrSuspendAllowed"},
            Hibernate = {"IsPwrHibernateAllowed"}, PowerStatus = {"GetSystemPowerStatus"};
const char *const Standby = "WindowsStandby";
const char *const Hibernation = "WindowsHibernate";

const SleepCase SleepCases[] = {
    // Standby on NT 6 and later: any one of S1 to S3. A machine that offers
    // none (Modern Standby among them) refuses with ERROR_NOT_SUPPORTED.
    {"vista, S1 to S3", Standby, os::Vista, {.states = "123"}, Capabilities, StandbyByPowrProf},
    {"vista, S3 alone", Standby, os::Vista, {.states = "3"}, Capabilities, StandbyByPowrProf},
    {"win7, S1 alone", Standby, os::Win7, {.states = "1"}, Capabilities, StandbyByPowrProf},
    {"win8, S2 alone", Standby, os::Win8, {.states = "2"}, Capabilities, StandbyByPowrProf},
    {"win10, S1 and S2", Standby, os::Win10, {.states = "12"}, Capabilities, StandbyByPowrProf},
    {"win7, no state though suspend allowed", Standby, os::Win7, {.states = "4H"}, Capabilities, Refused, NotSupported},
    {"win11, Modern Standby", Standby, os::Win10, {.states = "4HM"}, Capabilities, Refused, NotSupported},
    {"win7, capabilities fail, suspend allowed",
     Standby,
     os::Win7,
     {.capabilitiesResult = 0},
     {"GetPwrCapabilities", "IsPwrSuspendAllowed"},
     StandbyByPowrProf},
    {"win7, capabilities 0x100, suspend refused",
     Standby,
     os::Win7,
     {.suspendAllowed = 0, .capabilitiesResult = 0x100},
     {"GetPwrCapabilities", "IsPwrSuspendAllowed"},
     Refused,
     NotSupported},
    {"win8, capabilities missing", Standby, os::Win8, {.missing = {"GetPwrCapabilities"}}, Suspend, StandbyByPowrProf},
    {"win10, capabilities and suspend query missing",
     Standby,
     os::Win10,
     {.missing = {"GetPwrCapabilities", "IsPwrSuspendAllowed"}},
     {},
     Refused,
     NotImplemented},
    // Below 6, or outside the NT family: IsPwrSuspendAllowed alone.
    {"xp", Standby, os::WinXP, {.states = ""}, Suspend, StandbyByPowrProf},
    {"xp, suspend refused", Standby, os::WinXP, {.suspendAllowed = 0}, Suspend, Refused, NotSupported},
    {"xp, suspend 0x100", Standby, os::WinXP, {.suspendAllowed = 0x100}, Suspend, Refused, NotSupported},
    {"win98", Standby, os::Win98, {.states = ""}, Suspend, StandbyByPowrProf},
    {"win95, suspend refused", Standby, os::Win95, {.suspendAllowed = 0}, Suspend, Refused, NotSupported},
    {"neither family 6.0", Standby, NeitherFamily6, {.states = ""}, Suspend, StandbyByPowrProf},
    {"nt4, suspend entry missing", Standby, os::NT4, {.missing = {"IsPwrSuspendAllowed"}}, {}, Refused, NotImplemented},
    {"xp, SetSuspendState missing", Standby, os::WinXP, {.missing = {"SetSuspendState"}}, Suspend, StandbyByKernel},
    {"nt4, SetSuspendState missing", Standby, os::NT4, {.missing = {"SetSuspendState"}}, Suspend, StandbyByKernel},
    // No powrprof.dll: the AC line status decides, and kernel32 is asked. The
    // refusals keep what the loader or GetSystemPowerStatus left.
    {"no powrprof, off line", Standby, os::WinXP, {.library = false, .acLine = 0}, PowerStatus, StandbyByKernel},
    {"no powrprof, on line, win98", Standby, os::Win98, {.library = false, .acLine = 1}, PowerStatus, StandbyByKernel},
    {"no powrprof, on line, nt4", Standby, os::NT4, {.library = false, .acLine = 1}, PowerStatus, StandbyByKernel},
    {"no powrprof, line unknown",
     Standby,
     os::Win10,
     {.library = false, .acLine = 255},
     PowerStatus,
     Refused,
     FakeLoadError},
    {"no powrprof, status fails",
     Standby,
     os::Win7,
     {.library = false, .acLine = -1},
     PowerStatus,
     Refused,
     FakePowerStatusError},
    // Hibernation on NT 6 and later: S4 or the hibernation file.
    {"vista, S4 alone", Hibernation, os::Vista, {.states = "4"}, Capabilities, HibernateByPowrProf},
    {"win10, hibernation file alone", Hibernation, os::Win10, {.states = "H"}, Capabilities, HibernateByPowrProf},
    {"win7, neither though allowed", Hibernation, os::Win7, {.states = "123"}, Capabilities, Refused, NotSupported},
    {"win7, capabilities fail, allowed",
     Hibernation,
     os::Win7,
     {.capabilitiesResult = 0, .states = ""},
     {"GetPwrCapabilities", "IsPwrHibernateAllowed"},
     HibernateByPowrProf},
    {"win7, capabilities fail, refused",
     Hibernation,
     os::Win7,
     {.hibernateAllowed = 0, .capabilitiesResult = 0},
     {"GetPwrCapabilities", "IsPwrHibernateAllowed"},
     Refused,
     NotSupported},
    {"win2000", Hibernation, os::Win2000, {.states = ""}, Hibernate, HibernateByPowrProf},
    {"xp, hibernate 0x100", Hibernation, os::WinXP, {.hibernateAllowed = 0x100}, Hibernate, Refused, NotSupported},
    {"xp, hibernate query missing",
     Hibernation,
     os::WinXP,
     {.missing = {"IsPwrHibernateAllowed"}},
     {},
     Refused,
     NotImplemented},
    {"win7, SetSuspendState missing",
     Hibernation,
     os::Win7,
     {.missing = {"SetSuspendState"}},
     Capabilities,
     HibernateByKernel},
    {"xp, no powrprof, off line",
     Hibernation,
     os::WinXP,
     {.library = false, .acLine = 0},
     PowerStatus,
     HibernateByKernel},
    {"xp, no powrprof, line unknown",
     Hibernation,
     os::WinXP,
     {.library = false, .acLine = 255},
     PowerStatus,
     Refused,
     FakeLoadError},
};

TEST(StandbyAndHibernate, CapabilityTestThenTheRequest) {
    for (const SleepCase &c : SleepCases) {
        SCOPED_TRACE(std::string(c.exportName) + ": " + c.name);
        auto image = Start(c.profile, c.machine);
        bool goesOn = !c.request.name.empty();
        EXPECT_EQ(image->Call(c.exportName), goesOn ? QuellTrue : 0u);
        EXPECT_EQ(Questions(), c.questions);
        std::vector<Call> requests = Requests();
        ASSERT_EQ(requests.size(), goesOn ? 1u : 0u);
        if (goesOn) {
            EXPECT_EQ(requests[0].name, c.request.name);
            EXPECT_EQ(requests[0].args, c.request.args);
        } else {
            EXPECT_EQ(GetLastError(), c.refusalError);
        }
        bool nt = c.profile.platform == VER_PLATFORM_WIN32_NT;
        EXPECT_EQ(g_fake.Count("OpenProcessToken"), nt && goesOn ? 1u : 0u);
        EXPECT_EQ(PrivilegeAdjustments(), nt && goesOn ? (Args{SE_PRIVILEGE_ENABLED, 0}) : Args{});
        EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
    }
}

// Hibernation needs the NT family from 5.0 on; elsewhere nothing is called,
// powrprof.dll is not even loaded.
TEST(StandbyAndHibernate, HibernateGuardCallsNothing) {
    for (const OsProfile &profile : {os::Win95, os::Win98, os::WinMe, os::NT4, os::QueryFails, NeitherFamily6}) {
        SCOPED_TRACE(profile.name);
        auto image = Start(profile);
        EXPECT_EQ(image->Call("WindowsHibernate"), 0u);
        EXPECT_EQ(GetLastError(), NotImplemented);
        EXPECT_EQ(g_fake.Names(true), Names{"SetLastError"});
    }
}

struct RequestCase {
    const char *name;
    const char *exportName;
    OsProfile profile;
    bool byKernel;          // powrprof.dll lacks SetSuspendState
    uint32_t systemResult;  // of the request
    uint32_t expected;
};

// The request's result decides: the low byte of SetSuspendState's BOOLEAN, all
// 32 bits of SetSystemPowerState's BOOL. A refused request keeps its own
// last-error value, through the disabling of the privilege on NT; the
// privilege is disabled and the token closed once either way.
TEST(StandbyAndHibernate, RequestResultAndThePrivilegeAfterIt) {
    const RequestCase cases[] = {
        {"accepted", Standby, os::WinXP, false, 1, QuellTrue},
        {"accepted with 0x2A", Hibernation, os::Win10, false, 0x2A, QuellTrue},
        {"0x100 is refused", Standby, os::Win7, false, 0x100, 0},
        {"refused", Hibernation, os::Vista, false, 0, 0},
        {"kernel: 0x100 is accepted", Standby, os::WinXP, true, 0x100, QuellTrue},
        {"kernel: refused", Hibernation, os::Win2003, true, 0, 0},
        {"win98: accepted", Standby, os::Win98, false, 1, QuellTrue},
        {"win98: refused", Standby, os::WinMe, false, 0, 0},
        {"win98, kernel: refused", Standby, os::Win95, true, 0, 0},
    };
    for (const RequestCase &c : cases) {
        SCOPED_TRACE(std::string(c.exportName) + " on " + c.profile.name + ": " + c.name);
        auto image = Start(c.profile, {.missing = {c.byKernel ? "SetSuspendState" : nullptr}});
        g_lateBound.results["SetSuspendState"] = c.systemResult;
        g_lateBound.systemPowerStateResult = (BOOL)c.systemResult;
        if (!c.expected) g_lateBound.entryError = g_lateBound.systemPowerStateError = FakeSuspendError;
        EXPECT_EQ(image->Call(c.exportName), c.expected);
        if (!c.expected) {
            EXPECT_EQ(GetLastError(), FakeSuspendError);
        }
        const char *request = c.byKernel ? "SetSystemPowerState" : "SetSuspendState";
        if (c.profile.platform == VER_PLATFORM_WIN32_NT) {
            Names tail = {request, "AdjustTokenPrivileges", "CloseHandle"};
            Names names = g_fake.Names();
            ASSERT_GE(names.size(), tail.size());
            EXPECT_EQ(Names(names.end() - 3, names.end()), tail);
            EXPECT_EQ(PrivilegeAdjustments(), (Args{SE_PRIVILEGE_ENABLED, 0}));
            EXPECT_FALSE(g_fake.privilegeEnabled);
        } else {
            EXPECT_EQ(CallsAmong({"GetCurrentProcess", "OpenProcessToken", "AdjustTokenPrivileges", "CloseHandle"}),
                      Names{});
            EXPECT_EQ(g_fake.Count(request), 1u);
        }
        EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
    }
}

// When the privilege cannot be had, no request is made and nothing is disabled.
TEST(StandbyAndHibernate, BracketGivingUpMakesNoRequest) {
    struct Case {
        const char *exportName;
        OsProfile profile;
        PrivilegeRefusal refusal;
        Args adjustments;
    } cases[] = {
        {Standby, os::WinXP, PrivilegeNotAssigned, {SE_PRIVILEGE_ENABLED}},
        {Hibernation, os::Vista, PrivilegeNotAssigned, {SE_PRIVILEGE_ENABLED}},
        {Standby, os::Win10, TokenUnsupported, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.exportName) + " on " + c.profile.name);
        auto image = Start(c.profile);
        RefusePrivilege(c.refusal);
        EXPECT_EQ(image->Call(c.exportName), 0u);
        EXPECT_EQ(GetLastError(), c.refusal.error);
        EXPECT_EQ(Requests().size(), 0u);
        EXPECT_EQ(PrivilegeAdjustments(), c.adjustments);
        EXPECT_TRUE(g_fake.TokensClosedExactlyOnce());
    }
}

// ---- The group: first use, retries, release

TEST(PowrProfGroup, FirstUseLoadsOnceAndLooksTheFourNamesUpInOrder) {
    const char *users[] = {"IsPwrSuspendAllowed",    "IsPwrHibernateAllowed", "GetPwrCapabilities",
                           "CheckSystemPowerStatus", "WindowsStandby",        "WindowsHibernate"};
    for (const char *first : users) {
        SCOPED_TRACE(first);
        auto image = Start(os::Win7);
        CallWithZeros(*image, first);
        EXPECT_EQ(LoggedTexts("LoadLibraryA"), Names{SystemPath("powrprof.dll")});
        EXPECT_EQ(LoggedTexts("GetProcAddress"), PowrProfEntries);
        g_fake.log.clear();
        for (const char *user : users) CallWithZeros(*image, user);
        CallWithZeros(*image, "SetSuspendState");
        EXPECT_EQ(CallsAmong({"LoadLibraryA", "GetProcAddress"}), Names{});
    }
}

TEST(PowrProfGroup, WhileAbsentEveryPowerCallTriesToLoadIt) {
    for (const char *user : {"CheckSystemPowerStatus", "WindowsStandby", "WindowsHibernate"}) {
        SCOPED_TRACE(user);
        auto image = Start(os::Win10, {.library = false});
        image->Call(user);
        image->Call(user);
        EXPECT_EQ(LoggedTexts("LoadLibraryA"), Names(2, SystemPath("powrprof.dll")));
    }
}

TEST(PowrProfGroup, DetachReleasesPowrProfAfterTheOtherThree) {
    const struct {
        const char *name;
        std::vector<const char *> used;
        Names freed;
    } cases[] = {
        {"all four, powrprof first",
         {"IsPwrSuspendAllowed", "InitiateShutdownA", "RestartDialog", "LockWorkStation"},
         {"user32.dll", "shell32.dll", "advapi32.dll", "powrprof.dll"}},
        {"powrprof alone", {"CheckSystemPowerStatus"}, {"powrprof.dll"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto image = Start(os::WinXP);
        for (const char *name : c.used) CallWithZeros(*image, name);
        g_fake.log.clear();
        image->Detach();
        ASSERT_EQ(LoggedTexts("FreeLibrary"), c.freed);
        EXPECT_EQ(g_fake.Last("FreeLibrary")->args[0], (uintptr_t)FakeModuleHandle("powrprof.dll"));
        EXPECT_EQ(g_lateBound.libraries["powrprof.dll"].references, 0);
    }
}

// A failed release leaves the slots null: the exports answer "not available"
// and load nothing.
TEST(PowrProfGroup, FailedReleaseLeavesEveryEntryUnavailable) {
    auto image = Start(os::WinXP);
    g_lateBound.libraries["powrprof.dll"].freeFails = true;
    EXPECT_EQ(image->Call("IsPwrSuspendAllowed") & 0xFF, 1u);
    image->Detach();
    g_fake.log.clear();
    for (const Forwarder &f : Forwarders) {
        SetLastError(UntouchedError);
        EXPECT_EQ(image->Call(f.name, f.args), 0u) << f.name;
        EXPECT_EQ(GetLastError(), NotImplemented);
    }
    SetLastError(UntouchedError);
    EXPECT_EQ(image->Call("CheckSystemPowerStatus"), 0u);
    EXPECT_EQ(GetLastError(), NotImplemented);
    EXPECT_EQ(CallsAmong({"LoadLibraryA", "GetProcAddress", "FreeLibrary"}), Names{});
}

}  // namespace
