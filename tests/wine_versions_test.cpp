// The real library under every Windows version that Wine can act as, with no
// fakes beneath the harmless questions the probe asks.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>

#include "bench/probe_run.h"
#include "bench/test_support.h"

namespace {

struct WineVersion {
    const char *name;
    bool manifest;  // the probe declares Windows 10 supported
    unsigned platform, major, minor;
};

const WineVersion Versions[] = {
    {"win95", false, 1, 4, 0}, {"win98", false, 1, 4, 10}, {"winme", false, 1, 4, 90},  {"nt40", false, 2, 4, 0},
    {"win2k", false, 2, 5, 0}, {"winxp", false, 2, 5, 1},  {"win2003", false, 2, 5, 2}, {"vista", false, 2, 6, 0},
    {"win7", false, 2, 6, 1},  {"win8", false, 2, 6, 2},   {"win81", false, 2, 6, 2},   {"win10", false, 2, 6, 2},
    {"win10", true, 2, 10, 0},
};

void PrintTo(const WineVersion &v, std::ostream *out) { *out << v.name << (v.manifest ? " with manifest" : ""); }

// "result error" of an answer, as numbers.
std::pair<long, unsigned long> ResultAndError(const std::string &answer) {
    std::istringstream in(answer);
    long result = 0x7EEEEEEE;
    unsigned long error = 0;
    in >> result >> error;
    return {result, error};
}

class UnderWine : public ::testing::TestWithParam<WineVersion> {};

TEST_P(UnderWine, HarmlessAnswersFitTheSystem) {
    const WineVersion &v = GetParam();
    ProbeAnswers a = RunProbe(std::string("quell_probe_") + v.name + (v.manifest ? "_m" : ""), v.name, v.manifest);
    ASSERT_EQ(a["loaded"], "1");
    EXPECT_EQ(a["fakeCalls"], "0") << "a call went to a fake";
    ASSERT_EQ(a["platform"], std::to_string(v.platform)) << "Wine did not act as " << v.name;
    EXPECT_EQ(a["major"], std::to_string(v.major));
    EXPECT_EQ(a["minor"], std::to_string(v.minor));

    bool nt = v.platform == 2;
    EXPECT_EQ(ResultAndError(a["CheckWindowsNT"]).first, nt ? -1 : 0);
    EXPECT_EQ(a["DllGetVersion"], "0 " + ProjectVersion(3) + " 1");

    auto msdos = ResultAndError(a["CheckMsDosModus"]);
    EXPECT_EQ(msdos.first, 0);  // no shortcut in this prefix
    EXPECT_EQ(msdos.second, v.platform == 1 ? (DWORD)ERROR_INVALID_NAME : UntouchedError);

    if (!nt || v.major < 5) {
        EXPECT_EQ(ResultAndError(a["WindowsHibernate"]), std::make_pair(0l, (unsigned long)ERROR_CALL_NOT_IMPLEMENTED));
    } else {
        EXPECT_EQ(a.count("WindowsHibernate"), 0u);
    }

    // The forwarders answer like the system beneath them.
    for (const char *name : {"IsPwrSuspendAllowed", "IsPwrHibernateAllowed"})
        EXPECT_EQ(ResultAndError(a[name]).first & 0xFF, ResultAndError(a[std::string("system.") + name]).first & 0xFF)
            << name;
    long power = ResultAndError(a["CheckSystemPowerStatus"]).first;
    EXPECT_TRUE(power == 0 || power == -1 || (v.major < 6 && power == ResultAndError(a["IsPwrSuspendAllowed"]).first))
        << power;
}

INSTANTIATE_TEST_SUITE_P(Versions, UnderWine, ::testing::ValuesIn(Versions), [](const auto &info) {
    return std::string(info.param.name) + (info.param.manifest ? "_manifest" : "");
});

}  // namespace
