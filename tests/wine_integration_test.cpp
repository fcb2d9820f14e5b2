// The harmless exports against Wine itself, with no fakes beneath them.
#include <gtest/gtest.h>

#include "bench/test_support.h"

namespace {

TEST(Wine, PlatformQueriesAnswerLikeTheSystem) {
    ResetFakePlatform();
    auto image = LoadQuell(Binding::Real);
    ASSERT_TRUE(image);
    OSVERSIONINFOA version{sizeof version};
    GetVersionExA(&version);
    EXPECT_EQ(image->Call("CheckWindowsNT"), version.dwPlatformId == VER_PLATFORM_WIN32_NT ? QuellTrue : 0u);
    char name[257];
    DWORD size = sizeof name;
    EXPECT_EQ(image->Call("CheckUserName"), GetUserNameA(name, &size) ? QuellTrue : 0u);
    EXPECT_EQ(image->Call("WindowsNTPrivilegien"), QuellTrue);
    EXPECT_TRUE(g_fake.log.empty()) << "a real call went to a fake";
}

TEST(Wine, LoadsByNameLikeAnyLibrary) {
    HMODULE quell = LoadLibraryW(BuiltQuellPath().c_str());
    ASSERT_TRUE(quell);
    auto check = (BOOL(WINAPI *)())GetProcAddress(quell, "CheckWindowsNT");
    ASSERT_TRUE(check);
    EXPECT_EQ((uint32_t)check(), QuellTrue);
    EXPECT_TRUE(FreeLibrary(quell));
}

}  // namespace
