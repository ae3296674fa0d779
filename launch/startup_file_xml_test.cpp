// The startup document reader on real bytes in every encoding the server may
// send, under the Western and the Korean code page.

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "launch/startup_file_xml.h"
#include "support/logger.h"
#include "support/platform.h"
#include "testing/test_support.h"

namespace {

using Params = std::vector<std::pair<std::wstring, std::wstring>>;

std::string Narrow(const std::wstring& text) {
    return testing_support::WideToUtf8String(text);
}

class StartupXmlTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::Release();
        log = dir / L"startup.log";
        Logger::Instance()->SetFilePath(log);
    }
    void TearDown() override { Logger::Release(); }

    bool LoadBytes(const std::string& bytes) {
        return doc.Load(reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    }
    // The document's children inside <startup>, as UTF-8 with a mark.
    bool LoadChildren(const std::string& children) {
        return LoadBytes("\xEF\xBB\xBF<startup>" + children + "\n</startup>");
    }
    std::wstring Log() { return testing_support::ReadLogFile(log); }
    std::wstring Root() { return GetDataRootFolder(); }

    testing_support::TempDir dir;
    std::wstring log;
    startup_file_xml doc;
};

TEST_F(StartupXmlTest, EveryMemberAndTheParamsInDocumentOrder) {
    ASSERT_TRUE(
        LoadBytes("<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
                  "<startup>\r\n"
                  "  <module> OrvinEditor.dll </module>\r\n"
                  "  <install_path>Orvin/Editor</install_path>\r\n"
                  "  <update_url ssl=\"lv2\">http://update.example.com/editor</update_url>\r\n"
                  "  <todo>open</todo>\r\n"
                  "  <editor_id>E1</editor_id>\r\n"
                  "  <config_url>http://c/</config_url>\r\n"
                  "  <storage_url>http://s/</storage_url>\r\n"
                  "  <rsid>R</rsid>\r\n"
                  "  <lsid>L</lsid>\r\n"
                  "  <install_page>https://shop/install</install_page>\r\n"
                  "  <return_url>http://shop/return</return_url>\r\n"
                  "  <return2_url>http://shop/cart</return2_url>\r\n"
                  "  <internal_call id=\"lang\">ko</internal_call>\r\n"
                  "  <setkey_url>http://shop/key</setkey_url>\r\n"
                  "  <cookie>c=1</cookie>\r\n"
                  "  <user_id>u1</user_id>\r\n"
                  "  <agent type=\"chrome\">chrome.exe</agent>\r\n"
                  "  <internal_call>none</internal_call>\r\n"
                  "  <app_title><![CDATA[ 편집기 ]]></app_title>\r\n"
                  "  <app_icon>icon.ico</app_icon>\r\n"
                  "  <count>3</count>\r\n"
                  "  <unknown>ignored</unknown>\r\n"
                  "  <!-- a comment -->\r\n"
                  "</startup>\r\n"));
    EXPECT_EQ(L"OrvinEditor.dll", doc.module);
    EXPECT_EQ(Root() + L"\\Orvin\\Editor\\", doc.install_path);
    EXPECT_EQ(L"https://update.example.com/editor/", doc.update_url);
    EXPECT_EQ(L"https://update.example.com/editor/", doc.update_files_url);
    EXPECT_EQ(L"open", doc.todo);
    EXPECT_EQ(L"E1", doc.editor_id);
    EXPECT_EQ(L"http://c/", doc.config_url);
    EXPECT_EQ(L"http://s/", doc.storage_url);
    EXPECT_EQ(L"R", doc.rsid);
    EXPECT_EQ(L"L", doc.lsid);
    EXPECT_EQ(L"http://shop/return", doc.return_url);
    EXPECT_EQ(L"http://shop/cart", doc.return2_url);
    EXPECT_EQ(L"http://shop/key", doc.setkey_url);
    EXPECT_EQ(L"c=1", doc.cookie);
    EXPECT_EQ(L"u1", doc.user_id);
    EXPECT_EQ(L"chrome.exe", doc.agent);
    EXPECT_EQ(L"chrome", doc.agent_type);
    EXPECT_EQ(L"편집기", doc.app_title);
    EXPECT_EQ(L"icon.ico", doc.app_icon);
    EXPECT_EQ(3, doc.count);
    Params expected = {{L"install_page", L"https://shop/install"},
                       {L"lang", L"ko"},
                       {L"agent", L"chrome.exe"},
                       {L"agent_type", L"chrome"},
                       {L"", L"none"}};
    EXPECT_EQ(expected, doc.params);
}

TEST_F(StartupXmlTest, EchoRecordsPrecedeTheParse) {
    ASSERT_TRUE(LoadChildren("<todo>new</todo>"));
    std::wstring text = Log();
    size_t echo = text.find(L" >>\r\n");
    ASSERT_NE(std::wstring::npos, echo) << Narrow(text);
    EXPECT_NE(std::wstring::npos, text.find(L" ><startup><todo>new</todo>\n</startup>\r\n", echo));
}

TEST_F(StartupXmlTest, RootNameIsExactChildNamesIgnoreCase) {
    EXPECT_FALSE(LoadBytes("<Startup><module>m</module>\n</Startup>"));
    ASSERT_TRUE(LoadChildren("<MODULE>m</MODULE><Todo>t</Todo>"));
    EXPECT_EQ(L"m", doc.module);
    EXPECT_EQ(L"t", doc.todo);
    // The first "startup" anywhere is the root; only its direct children count.
    ASSERT_TRUE(LoadBytes("<doc><startup><x><module>deep</module></x><todo>t</todo></startup></doc>"));
    EXPECT_EQ(L"", doc.module);
    EXPECT_EQ(L"t", doc.todo);
    // An instruction named like a member is not an element.
    ASSERT_TRUE(LoadChildren("<?module m='1'?><todo>t</todo>"));
    EXPECT_EQ(L"", doc.module);
}

TEST_F(StartupXmlTest, InstallPathBelowTheDataRoot) {
    ASSERT_FALSE(Root().empty());
    ASSERT_TRUE(LoadChildren("<install_path>app/editor</install_path>"));
    EXPECT_EQ(Root() + L"\\app\\editor\\", doc.install_path);
    ASSERT_TRUE(LoadChildren("<install_path>\\\\app\\\\editor</install_path>"));
    EXPECT_EQ(Root() + L"\\app\\editor\\", doc.install_path);
    ASSERT_TRUE(LoadChildren("<install_path></install_path>"));
    EXPECT_EQ(Root() + L"\\", doc.install_path);
    ASSERT_TRUE(LoadChildren("<install_path>/a//b/</install_path>"));
    EXPECT_EQ(Root() + L"\\a\\b\\", doc.install_path);
    // Three backslashes: one pair is replaced, the scan goes on after it.
    ASSERT_TRUE(LoadChildren("<install_path>a\\\\\\b</install_path>"));
    EXPECT_EQ(Root() + L"\\a\\\\b\\", doc.install_path);
    ASSERT_TRUE(LoadChildren("<install_path>a..b/...x</install_path>"));
    EXPECT_EQ(Root() + L"\\a..b\\...x\\", doc.install_path);
}

TEST_F(StartupXmlTest, InstallPathThatClimbsOutOfTheDataRootIsRefused) {
    // The install flow writes and deletes below install_path: a path that
    // leaves the data root must not get that far.
    for (const char* path :
         {"../../Windows", "a/../../b", "..", "a\\..\\..", "a/.. /b", "a/.../b", "C:/Windows", "nul"}) {
        EXPECT_FALSE(LoadChildren(std::string("<module>m</module><install_path>") + path + "</install_path>"))
            << path;
        EXPECT_EQ(L"", doc.install_path);
        EXPECT_EQ(L"", doc.module);
    }
    EXPECT_NE(std::wstring::npos,
              Log().find(L"*오류 : install_path 값이 올바르지 않습니다. (../../Windows)"));
}

TEST_F(StartupXmlTest, UpdateUrlSchemeFollowsTheSslLevel) {
    ASSERT_TRUE(LoadChildren("<update_url ssl='LV1'>ftp://h/up</update_url>"));
    EXPECT_EQ(L"https://h/up/", doc.update_url);
    EXPECT_EQ(L"http://h/up/", doc.update_files_url);
    ASSERT_TRUE(LoadChildren("<update_url ssl='lv2'>http://h/up/</update_url>"));
    EXPECT_EQ(L"https://h/up/", doc.update_url);
    EXPECT_EQ(L"https://h/up/", doc.update_files_url);
    ASSERT_TRUE(LoadChildren("<update_url ssl='lv3'>https://h/up</update_url>"));
    EXPECT_EQ(L"http://h/up/", doc.update_url);
    EXPECT_EQ(L"http://h/up/", doc.update_files_url);
    ASSERT_TRUE(LoadChildren("<update_url>https://h</update_url>"));
    EXPECT_EQ(L"http://h/", doc.update_url);
    EXPECT_EQ(L"http://h/", doc.update_files_url);
    // The ssl attribute's name is exact.
    ASSERT_TRUE(LoadChildren("<update_url SSL='lv2'>https://h</update_url>"));
    EXPECT_EQ(L"http://h/", doc.update_url);
}

TEST_F(StartupXmlTest, UpdateUrlWithoutSchemeSeparatorRefusesTheDocument) {
    EXPECT_FALSE(LoadChildren("<module>m</module><update_url>update.example.com</update_url><todo>t</todo>"));
    // Nothing of a refused document is kept, not even what came before.
    EXPECT_EQ(L"", doc.module);
    EXPECT_EQ(L"", doc.todo);
    EXPECT_FALSE(LoadChildren("<update_url></update_url>"));
}

TEST_F(StartupXmlTest, InstallPageNeedsAWebAddress) {
    ASSERT_TRUE(
        LoadChildren("<install_page>https://</install_page>"
                     "<install_page>http://x</install_page>"
                     "<install_page>http://xy</install_page>"
                     "<install_page>HTTP://Abc</install_page>"
                     "<install_page>ftp://host/x</install_page>"
                     "<install_page></install_page>"));
    Params expected = {
        {L"install_page", L"https://"}, {L"install_page", L"http://xy"}, {L"install_page", L"HTTP://Abc"}};
    EXPECT_EQ(expected, doc.params);
}

TEST_F(StartupXmlTest, RepeatedElementsOverwriteAndAddRows) {
    ASSERT_TRUE(LoadChildren("<agent type='ie'>iexplore</agent><agent>firefox</agent>"));
    Params expected = {
        {L"agent", L"iexplore"}, {L"agent_type", L"ie"}, {L"agent", L"firefox"}, {L"agent_type", L""}};
    EXPECT_EQ(expected, doc.params);
    EXPECT_EQ(L"firefox", doc.agent);
    EXPECT_EQ(L"", doc.agent_type);
    ASSERT_TRUE(LoadChildren("<title>A</title><app_title>B</app_title>"));
    EXPECT_EQ(L"B", doc.app_title);
    ASSERT_TRUE(LoadChildren("<app_title>B</app_title><title>A</title>"));
    EXPECT_EQ(L"A", doc.app_title);
    ASSERT_TRUE(LoadChildren("<module>a</module><module>b</module>"));
    EXPECT_EQ(L"b", doc.module);
}

TEST_F(StartupXmlTest, ValuesStayAsWritten) {
    ASSERT_TRUE(LoadChildren("<todo>a &amp; b</todo><user_id>  x y  </user_id><editor_id><e/></editor_id>"));
    EXPECT_EQ(L"a &amp; b", doc.todo);
    EXPECT_EQ(L"x y", doc.user_id);
    EXPECT_EQ(L"", doc.editor_id);
}

TEST_F(StartupXmlTest, CountConversion) {
    const std::pair<const char*, int> cases[] = {
        {"12abc", 12},
        {"x", 0},
        {"", 0},
        {" \t-5", -5},
        {"+7", 7},
        {"--1", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-99999999999999999999", INT_MIN},
        {"99999999999999999999", INT_MAX},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(LoadChildren(std::string("<count>") + c.first + "</count>")) << c.first;
        EXPECT_EQ(c.second, doc.count) << c.first;
    }
}

TEST_F(StartupXmlTest, ClosingTagAsTheParseLeftIt) {
    // Text right before the closing tag: its "<" became the text's NUL.
    EXPECT_FALSE(LoadBytes("<startup>x</startup>"));
    EXPECT_FALSE(LoadBytes("<startup><module>m</module>tail</startup>"));
    EXPECT_TRUE(LoadBytes("<startup><module>m</module></startup>"));
    EXPECT_TRUE(LoadBytes("<startup><module>m</module>\r\n  </startup>"));
    EXPECT_TRUE(LoadBytes("<startup/>\n<x/></startup>"));
    EXPECT_FALSE(LoadBytes("<startup><module>m</module>"));
    EXPECT_FALSE(LoadBytes("<startup><module>m</module></STARTUP>"));
    EXPECT_FALSE(LoadBytes("no markup at all </startup>"));
}

TEST_F(StartupXmlTest, NoBytesNoDocument) {
    EXPECT_FALSE(doc.Load(nullptr, 0));
    const unsigned char one = 'x';
    EXPECT_FALSE(doc.Load(&one, 0));
    EXPECT_FALSE(doc.Load(&one, -1));
    // The caller's record is the one support staff read.
    EXPECT_EQ(std::wstring(), Log());
}

TEST_F(StartupXmlTest, RefusalBeforeReadingKeepsTheMembers) {
    ASSERT_TRUE(
        LoadChildren("<module>first</module><count>2</count><internal_call id='a'>1</internal_call>"));
    EXPECT_FALSE(LoadBytes("<nothing/>"));
    EXPECT_EQ(L"first", doc.module);
    EXPECT_EQ(2, doc.count);
    EXPECT_EQ(1u, doc.params.size());
    // A second good load replaces everything.
    ASSERT_TRUE(LoadChildren("<todo>t</todo>"));
    EXPECT_EQ(L"", doc.module);
    EXPECT_EQ(0, doc.count);
    EXPECT_TRUE(doc.params.empty());
    doc.module = L"m";
    doc.params.emplace_back(L"a", L"b");
    doc.count = 9;
    doc.Reset();
    EXPECT_EQ(L"", doc.module);
    EXPECT_EQ(L"", doc.todo);
    EXPECT_EQ(0, doc.count);
    EXPECT_TRUE(doc.params.empty());
}

TEST_F(StartupXmlTest, Encodings) {
    const std::string body = "<startup><app_title>한글</app_title>\n</startup>";
    // UTF-8 with a byte-order mark.
    ASSERT_TRUE(LoadBytes("\xEF\xBB\xBF" + body));
    EXPECT_EQ(L"한글", doc.app_title);
    // UTF-16LE with a byte-order mark.
    std::wstring wide = L"\xFEFF<startup><app_title>한글</app_title>\n</startup>";
    std::string utf16(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
    ASSERT_TRUE(LoadBytes(utf16));
    EXPECT_EQ(L"한글", doc.app_title);
    // UTF-8 without a mark but declared.
    ASSERT_TRUE(LoadBytes("<?xml version='1.0' encoding='UTF-8'?>" + body));
    EXPECT_EQ(L"한글", doc.app_title);
    // The ANSI code page: CP949 bytes of the same word.
    ASSERT_TRUE(LoadBytes("<startup><app_title>\xC7\xD1\xB1\xDB</app_title>\n</startup>"));
    if (::GetACP() == 949) {
        EXPECT_EQ(L"한글", doc.app_title);
    } else {
        ASSERT_EQ(1252u, ::GetACP());
        EXPECT_EQ(L"\u00C7\u00D1\u00B1\u00DB", doc.app_title);
    }
    // Undeclared UTF-8 is read in the ANSI code page too.
    ASSERT_TRUE(LoadBytes(body));
    if (::GetACP() == 1252) {
        EXPECT_EQ(L"\u00ED\u2022\u0153\u00EA\u00B8\u20AC", doc.app_title);
    }
    EXPECT_NE(L"한글", doc.app_title);
}

TEST_F(StartupXmlTest, EveryPrefixOfADocumentIsHandled) {
    const std::string full =
        "<?xml version='1.0' encoding='utf-8'?><startup><module>m</module>"
        "<update_url ssl='lv1'>http://h/u</update_url><agent type='t'>a</agent>\n</startup>";
    int accepted = 0;
    for (size_t n = 0; n <= full.size(); ++n) {
        startup_file_xml fresh;
        if (fresh.Load(reinterpret_cast<const unsigned char*>(full.data()), static_cast<int>(n))) ++accepted;
    }
    // Only the whole document carries the closing tag.
    EXPECT_EQ(1, accepted);
}

}  // namespace
