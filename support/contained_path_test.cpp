// The one rule for names joined to the run's folders, and the link checks.

#include <gtest/gtest.h>

#include "support/contained_path.h"
#include "testing/test_support.h"

namespace {

TEST(ContainedPath, WhatCanLeaveTheFolderIsRefusedAndWhatCannotIsKept) {
    for (const wchar_t* name :
         {L"..", L"..\\x.dll", L"a/../../x", L"...", L". .", L"sub\\.. \\x", L"C:\\x.dll", L"C:x.dll",
          L"x.dll:stream", L"\\\\server\\share\\x", L"//server/share/x", L"\\\\?\\C:\\x", L"CON", L"nul.txt",
          L"sub\\COM1.dat", L"lpt9", L"conout$", L"AUX .txt", L"com\u00B9"}) {
        EXPECT_FALSE(IsContainedName(name)) << testing_support::WideToUtf8String(name);
    }
    for (const wchar_t* name :
         {L"", L"x.dll", L".\\x.dll", L"\\x.dll", L"/x.dll", L"sub\\inner\\x.dll", L"sub//x.dll", L"a..b.dll",
          L"..x", L"x..", L".hidden", L"console.dll", L"com10", L"COM0", L"lpt"}) {
        EXPECT_TRUE(IsContainedName(name)) << testing_support::WideToUtf8String(name);
    }
}

// Found by fuzzing: the platform reads each of these only up to the NUL, as a
// climbing component or a device name.
TEST(ContainedPath, ANameWithANulIsRefused) {
    for (const std::wstring& name :
         {std::wstring(L"..\0", 3), std::wstring(L"a\\..\0b\\x.dll", 12), std::wstring(L"CON\0.txt", 8)}) {
        EXPECT_FALSE(IsContainedName(name)) << testing_support::WideToUtf8String(name);
    }
}

TEST(ContainedPath, ComponentsAreThoseThePlatformResolves) {
    EXPECT_EQ((std::vector<std::wstring>{L"download", L"x.dat"}),
              ResolvedComponents(L".\\download. \\x.dat"));
    EXPECT_EQ((std::vector<std::wstring>{L"a", L"b"}), ResolvedComponents(L"/a//b/"));
    EXPECT_TRUE(ResolvedComponents(L".\\.").empty());
}

std::wstring g_marked;
DWORD MarkAsLink(const std::wstring& path, DWORD attributes) {
    return path == g_marked && attributes != INVALID_FILE_ATTRIBUTES
               ? attributes | FILE_ATTRIBUTE_REPARSE_POINT
               : attributes;
}

TEST(ContainedPath, LinksAreFoundBelowTheBaseOnly) {
    testing_support::TempDir dir;
    const std::wstring base = dir.path();
    CreateDirectoryW((base + L"a").c_str(), nullptr);
    CreateDirectoryW((base + L"a\\b").c_str(), nullptr);
    EXPECT_FALSE(CrossesLink(base, L"a\\b\\c.dat"));
    SetPathAttributesHookForTest(MarkAsLink);
    g_marked = base + L"a";
    EXPECT_TRUE(CrossesLink(base, L"a\\b\\c.dat"));
    EXPECT_TRUE(IsLinkPath(base + L"a\\"));
    EXPECT_FALSE(CrossesLink(base + L"a\\", L"b\\c.dat"));
    // A level that does not exist is no link.
    g_marked = base + L"missing";
    EXPECT_FALSE(CrossesLink(base, L"missing\\c.dat"));
    SetPathAttributesHookForTest(nullptr);
}

}  // namespace
