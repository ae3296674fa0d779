// The update manifest reader on real documents: outer and inner documents
// built with the producer's encryption, the failure cases, non-ASCII file
// names under both code pages, and corrupted input.

#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <string>
#include <vector>

#include "support/logger.h"
#include "update/manifest_crypto.h"
#include "tools/publish/manifest_encrypt.h"
#include "update/update_file_xml.h"
#include "testing/test_support.h"

using testing_support::TempDir;
using testing_support::WideToUtf8String;

namespace {

const wchar_t kDeclaration[] = L"<?xml version=\"1.0\" encoding=\"utf-8\"?>";

std::wstring Encrypt(const std::wstring& inner) {
    std::wstring value;
    EXPECT_TRUE(EncryptManifestData(inner, 0x13572468u, 0x24681357u, value));
    return value;
}

// An outer document in UTF-8 around an already encrypted value.
std::string OuterWithValue(const std::wstring& value,
                           const wchar_t* format = L"%s<update data=\"%s\"></update>") {
    wchar_t buffer[8192];
    _snwprintf(buffer, 8191, format, kDeclaration, value.c_str());
    buffer[8191] = L'\0';
    return WideToUtf8String(buffer);
}

std::string Outer(const std::wstring& inner) {
    return OuterWithValue(Encrypt(inner));
}

bool LoadText(update_file_xml& xml, const std::string& body) {
    return xml.Load(reinterpret_cast<const unsigned char*>(body.data()), static_cast<int>(body.size()));
}

class UpdateFileXmlTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::Release();
        logPath = dir / L"manifest.log";
        Logger::Instance()->SetFilePath(logPath);
    }
    void TearDown() override { Logger::Release(); }
    std::wstring Log() { return testing_support::ReadLogFile(logPath); }

    TempDir dir;
    std::wstring logPath;
    update_file_xml xml;
};

const wchar_t kTwoPackages[] =
    L"<update>"
    L"<files name=\"editor.cab\">"
    L"<file id=\"module\" hash=\"0123456789ABCDEF0123456789abcdef\" version=\"1.2.3.4\">Editor.dll</file>"
    L"<file hash=\"aa\" version=\"\">res\\a.dat</file>"
    L"</files>"
    L"<file id=\"module\">Outside.dll</file>"
    L"<FILES name=\"extra.zip\">"
    L"<File version=\"2.0.0.1\">b.dat</File>"
    L"<other>ignored</other>"
    L"</FILES>"
    L"</update>";

TEST_F(UpdateFileXmlTest, ReadsEntriesInDocumentOrderWithTheirPackages) {
    ASSERT_TRUE(LoadText(xml, Outer(std::wstring(kDeclaration) + kTwoPackages)));
    EXPECT_EQ(L"Editor.dll", xml.module);
    ASSERT_EQ(3u, xml.files.size());
    EXPECT_EQ(L"Editor.dll", xml.files[0].name);
    EXPECT_EQ(L"editor.cab", xml.files[0].package);
    // Hashes are kept as written, upper-case letters included.
    EXPECT_EQ(L"0123456789ABCDEF0123456789abcdef", xml.files[0].hash);
    EXPECT_EQ(L"1.2.3.4", xml.files[0].version);
    EXPECT_EQ(L"res\\a.dat", xml.files[1].name);
    EXPECT_EQ(L"editor.cab", xml.files[1].package);
    EXPECT_EQ(L"aa", xml.files[1].hash);
    EXPECT_EQ(L"", xml.files[1].version);
    EXPECT_EQ(L"b.dat", xml.files[2].name);
    EXPECT_EQ(L"extra.zip", xml.files[2].package);
    EXPECT_EQ(L"", xml.files[2].hash);
    EXPECT_EQ(L"2.0.0.1", xml.files[2].version);
}

TEST_F(UpdateFileXmlTest, EchoesTheOuterTextButNotTheInnerOne) {
    const std::string body =
        Outer(L"<update><files name=\"p.cab\"><file id=\"module\">Secret.dll</file></files></update>");
    ASSERT_TRUE(LoadText(xml, body));
    const std::wstring log = Log();
    EXPECT_NE(std::wstring::npos, log.find(L" >>\r\n"));
    EXPECT_NE(std::wstring::npos, log.find(L" >" + testing_support::Utf8ToWideString(body) + L"\r\n"));
    EXPECT_EQ(std::wstring::npos, log.find(L"Secret.dll"));
}

TEST_F(UpdateFileXmlTest, ModuleIdIsComparedIgnoringCaseAndTheLastOneWins) {
    ASSERT_TRUE(LoadText(xml, Outer(L"<update><files name=\"p\">"
                                    L"<file id=\"MODULE\">First.dll</file>"
                                    L"<file id=\"modules\">Not.dll</file>"
                                    L"<file id=\"Module\">Last.dll</file>"
                                    L"</files></update>")));
    EXPECT_EQ(L"Last.dll", xml.module);
    EXPECT_EQ(3u, xml.files.size());

    ASSERT_TRUE(LoadText(
        xml, Outer(L"<update><files name=\"p\"><file id=\"MODULE\">Up.dll</file></files></update>")));
    EXPECT_EQ(L"Up.dll", xml.module);
}

TEST_F(UpdateFileXmlTest, RefusesAListWithoutModuleButKeepsWhatItRead) {
    EXPECT_FALSE(LoadText(xml, Outer(L"<update><files name=\"p\">"
                                     L"<file id=\"modules\">a.dll</file><file>b.dll</file>"
                                     L"</files></update>")));
    EXPECT_EQ(L"", xml.module);
    ASSERT_EQ(2u, xml.files.size());
    EXPECT_EQ(L"b.dll", xml.files[1].name);
}

TEST_F(UpdateFileXmlTest, RefusesAModuleEntryWithEmptyText) {
    EXPECT_FALSE(
        LoadText(xml, Outer(L"<update><files name=\"p\"><file id=\"module\"></file></files></update>")));
    EXPECT_EQ(1u, xml.files.size());
    EXPECT_FALSE(LoadText(xml, Outer(L"<update><files name=\"p\"><file id=\"module\"/></files></update>")));
}

TEST_F(UpdateFileXmlTest, RefusesAModuleOutsideAnyFilesElement) {
    EXPECT_FALSE(LoadText(xml, Outer(L"<update><file id=\"module\">a.dll</file></update>")));
    EXPECT_TRUE(xml.files.empty());
    EXPECT_EQ(L"", xml.module);
}

TEST_F(UpdateFileXmlTest, MissingAttributesGiveEmptyStrings) {
    ASSERT_TRUE(LoadText(xml, Outer(L"<update><files><file id=\"module\">m.dll</file></files></update>")));
    ASSERT_EQ(1u, xml.files.size());
    EXPECT_EQ(L"", xml.files[0].package);
    EXPECT_EQ(L"", xml.files[0].hash);
    EXPECT_EQ(L"", xml.files[0].version);
}

TEST_F(UpdateFileXmlTest, RefusesASelfClosingOuterElement) {
    const std::wstring value =
        Encrypt(L"<update><files name=\"p\"><file id=\"module\">m.dll</file></files></update>");
    EXPECT_FALSE(LoadText(xml, OuterWithValue(value, L"%s<update data=\"%s\"/>")));
    EXPECT_TRUE(LoadText(xml, OuterWithValue(value, L"%s<update data=\"%s\">\r\n</update>")));
}

TEST_F(UpdateFileXmlTest, RefusesAnInnerDocumentWithoutClosingTag) {
    EXPECT_FALSE(LoadText(xml, Outer(L"<update><files name=\"p\"><file id=\"module\">m.dll</file></files>")));
    EXPECT_FALSE(
        LoadText(xml, Outer(L"<update/><files name=\"p\"><file id=\"module\">m.dll</file></files>")));
}

TEST_F(UpdateFileXmlTest, FindsTheUpdateElementAnywhereButOnlyInExactCase) {
    const std::wstring value =
        Encrypt(L"<update><files name=\"p\"><file id=\"module\">m.dll</file></files></update>");
    EXPECT_TRUE(LoadText(xml, OuterWithValue(value, L"%s<root><x><update data=\"%s\"></update></x></root>")));
    EXPECT_FALSE(LoadText(xml, OuterWithValue(value, L"%s<Update data=\"%s\"></Update></update>")));
    EXPECT_FALSE(
        LoadText(xml, Outer(L"<UPDATE><files name=\"p\"><file id=\"module\">m.dll</file></files></UPDATE>"
                            L"</update>")));
}

TEST_F(UpdateFileXmlTest, RefusesAMissingOrUndecryptableDataAttribute) {
    EXPECT_FALSE(LoadText(xml, OuterWithValue(L"", L"%s<update other=\"%s\"></update>")));
    EXPECT_FALSE(LoadText(xml, OuterWithValue(L"QUJD")));
    // Eight bytes: an empty inner text.
    EXPECT_FALSE(LoadText(xml, OuterWithValue(L"AQIDBAUGBwg=")));
    // Only the echo: the caller's record names the manifest.
    EXPECT_EQ(std::wstring::npos, Log().find(L"오류"));
}

TEST_F(UpdateFileXmlTest, RefusesAbsentEmptyOrUndecodableBodies) {
    EXPECT_FALSE(xml.Load(nullptr, 0));
    EXPECT_FALSE(xml.Load(nullptr, 10));
    const unsigned char one = '<';
    EXPECT_FALSE(xml.Load(&one, 0));
    EXPECT_FALSE(xml.Load(&one, -5));
    EXPECT_FALSE(xml.Load(&one, 1));
}

TEST_F(UpdateFileXmlTest, ARefusalBeforeTheListLeavesTheMembers) {
    ASSERT_TRUE(
        LoadText(xml, Outer(L"<update><files name=\"p\"><file id=\"module\">m.dll</file></files></update>")));
    EXPECT_FALSE(LoadText(xml, OuterWithValue(L"QUJD")));
    EXPECT_FALSE(LoadText(xml, "<update data=\"\"/>"));
    EXPECT_EQ(L"m.dll", xml.module);
    ASSERT_EQ(1u, xml.files.size());
    xml.Reset();
    EXPECT_EQ(L"", xml.module);
    EXPECT_TRUE(xml.files.empty());
}

TEST_F(UpdateFileXmlTest, ReadsAnOuterDocumentInUtf16WithByteOrderMark) {
    const std::wstring text =
        L"<update data=\"" +
        Encrypt(L"<update><files name=\"p\"><file id=\"module\">m.dll</file></files></update>") +
        L"\"></update>";
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
    ASSERT_TRUE(LoadText(xml, bytes));
    EXPECT_EQ(L"m.dll", xml.module);
}

// Hangul file and package names survive whatever the ANSI code page is, with
// or without a declaration in the inner document (the test runs under code
// pages 1252 and 949).
TEST_F(UpdateFileXmlTest, NonAsciiNamesSurviveWithAndWithoutDeclaration) {
    const std::wstring list =
        L"<update><files name=\"\uD3B8\uC9D1\uAE30.cab\">"
        L"<file id=\"module\" hash=\"ab\">\uD3B8\uC9D1\uAE30.dll</file>"
        L"<file>\uC790\uB8CC\\\uADF8\uB9BC \u00E9\u20AC\U0001F600.png</file>"
        L"</files></update>";
    for (const std::wstring& inner : {list, std::wstring(kDeclaration) + list,
                                      std::wstring(L"<?xml version=\"1.0\" encoding=\"euc-kr\"?>") + list}) {
        const std::string where = WideToUtf8String(inner.substr(0, 40));
        update_file_xml manifest;
        ASSERT_TRUE(LoadText(manifest, Outer(inner))) << where;
        EXPECT_EQ(L"\uD3B8\uC9D1\uAE30.dll", manifest.module) << where;
        ASSERT_EQ(2u, manifest.files.size()) << where;
        EXPECT_EQ(L"\uD3B8\uC9D1\uAE30.cab", manifest.files[0].package) << where;
        EXPECT_EQ(L"\uC790\uB8CC\\\uADF8\uB9BC \u00E9\u20AC\U0001F600.png", manifest.files[1].name) << where;
    }
}

TEST_F(UpdateFileXmlTest, EntityReferencesStayUndecodedAndTextsAreTrimmed) {
    ASSERT_TRUE(LoadText(xml, Outer(L"<update><files name=\" a&amp;b.cab \">"
                                    L"<file id=\"module\">\r\n  m&amp;n.dll \t</file></files></update>")));
    EXPECT_EQ(L"m&amp;n.dll", xml.module);
    EXPECT_EQ(L"a&amp;b.cab", xml.files[0].package);
}

// Random damage to the base64 text and to the inner document never crashes
// the reader; whatever it accepts still satisfies its contract.
TEST_F(UpdateFileXmlTest, CorruptedInputNeverCrashes) {
    const std::wstring inner = std::wstring(kDeclaration) + kTwoPackages;
    const std::wstring value = Encrypt(inner);
    std::mt19937 gen(20240229);
    const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=<>\"& \r\n\x01";
    int accepted = 0;
    for (int n = 0; n < 600; ++n) {
        std::wstring damaged = value;
        const int edits = 1 + static_cast<int>(gen() % 6);
        for (int e = 0; e < edits && !damaged.empty(); ++e) {
            const size_t pos = gen() % damaged.size();
            const wchar_t c = static_cast<wchar_t>(alphabet[gen() % alphabet.size()]);
            switch (gen() % 4) {
                case 0:
                    damaged[pos] = c;
                    break;
                case 1:
                    damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(pos), c);
                    break;
                case 2:
                    damaged.erase(pos, 1 + gen() % 8);
                    break;
                default:
                    damaged.resize(pos);
                    break;
            }
        }
        update_file_xml manifest;
        if (LoadText(manifest, OuterWithValue(damaged))) {
            ++accepted;
            EXPECT_FALSE(manifest.module.empty());
            EXPECT_FALSE(manifest.files.empty());
        }
    }
    const std::wstring markup = L"<>/=\"'!?[]-&;: \r\nupdatefilesidmodule\uAC00\x01";
    for (int n = 0; n < 600; ++n) {
        std::wstring damaged = inner;
        const int edits = 1 + static_cast<int>(gen() % 8);
        for (int e = 0; e < edits && !damaged.empty(); ++e) {
            const size_t pos = gen() % damaged.size();
            const wchar_t c = markup[gen() % markup.size()];
            switch (gen() % 4) {
                case 0:
                    damaged[pos] = c;
                    break;
                case 1:
                    damaged.insert(damaged.begin() + static_cast<std::ptrdiff_t>(pos), c);
                    break;
                case 2:
                    damaged.erase(pos, 1 + gen() % 12);
                    break;
                default:
                    damaged.resize(pos);
                    break;
            }
        }
        update_file_xml manifest;
        if (LoadText(manifest, Outer(damaged))) {
            ++accepted;
            EXPECT_FALSE(manifest.module.empty());
        }
    }
    // Random bytes as the whole body.
    for (int n = 0; n < 300; ++n) {
        std::string body(static_cast<size_t>(gen() % 200), '\0');
        for (char& c : body) c = static_cast<char>(gen());
        update_file_xml manifest;
        (void)LoadText(manifest, body);
    }
    // The untouched document is accepted; most damaged ones are not.
    update_file_xml intact;
    EXPECT_TRUE(LoadText(intact, Outer(inner)));
    EXPECT_LT(accepted, 1200);
}

}  // namespace
