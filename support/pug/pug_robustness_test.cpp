// Hostile input for the XML parser: every prefix of real documents, random
// mutations, extreme depth and width, and allocation failure. The text sits
// right in front of an inaccessible page, so a read past its terminating NUL
// ends the test with an access violation instead of passing unnoticed.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "support/logger.h"
#include "support/pug/pug.h"
#include "support/pug/xml_tree.h"
#include "testing/test_support.h"

namespace {

// NUL-terminated text whose terminator is the last character before a
// PAGE_NOACCESS page. One region, made once, serves every case, so only one
// GuardedText may live at a time.
class GuardedText {
public:
    static constexpr size_t kCapacity = 256 * 1024;  // bytes before the guard page

    explicit GuardedText(const std::wstring& text) {
        Region& region = Shared();
        size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        if (!region.data || region.in_use || bytes > kCapacity) return;
        region.in_use = true;
        m_region = &region;
        m_text = reinterpret_cast<wchar_t*>(region.data + kCapacity - bytes);
        for (size_t i = 0; i < text.size(); ++i) m_text[i] = text[i];
        m_text[text.size()] = L'\0';
        m_length = text.size();
    }
    ~GuardedText() {
        if (m_region) m_region->in_use = false;
    }
    GuardedText(const GuardedText&) = delete;
    GuardedText& operator=(const GuardedText&) = delete;
    wchar_t* data() const { return m_text; }
    const wchar_t* end() const { return m_text + m_length; }

private:
    struct Region {
        char* data = nullptr;
        bool in_use = false;
    };
    static Region& Shared() {
        static Region region = [] {
            Region r;
            SYSTEM_INFO info;
            ::GetSystemInfo(&info);
            size_t page = info.dwPageSize;
            char* base = static_cast<char*>(
                ::VirtualAlloc(nullptr, kCapacity + page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
            DWORD old = 0;
            if (base && ::VirtualProtect(base + kCapacity, page, PAGE_NOACCESS, &old)) r.data = base;
            return r;
        }();
        return region;
    }

    Region* m_region = nullptr;
    wchar_t* m_text = nullptr;
    size_t m_length = 0;
};

bool Inside(const wchar_t* p, const wchar_t* begin, const wchar_t* end) {
    return p >= begin && p <= end;
}

// Walks the whole tree without recursion through the public handles and
// checks the records' invariants. Returns the number of nodes.
::testing::AssertionResult CheckTree(pug::xml_node root, const wchar_t* begin, const wchar_t* end,
                                     size_t* count = nullptr) {
    if (root.is_null()) return ::testing::AssertionFailure() << "no document node";
    if (root.kind() != pug::node_document || root.record()->parent != root.record())
        return ::testing::AssertionFailure() << "document node is not its own parent";
    std::vector<pug::xml_node> pending{root};
    size_t nodes = 0;
    size_t characters = 0;
    while (!pending.empty()) {
        pug::xml_node node = pending.back();
        pending.pop_back();
        ++nodes;
        const pug::xml_node_struct* r = node.record();
        if (r->type < pug::node_document || r->type > pug::node_dtd_notation)
            return ::testing::AssertionFailure() << "bad kind " << r->type;
        if (r->children > r->child_space || r->attributes > r->attribute_space)
            return ::testing::AssertionFailure() << "count above capacity";
        if (r->name && r->name_insitu && !Inside(r->name, begin, end))
            return ::testing::AssertionFailure() << "name outside the text";
        if (r->value && r->value_insitu && !Inside(r->value, begin, end))
            return ::testing::AssertionFailure() << "value outside the text";
        characters += std::wcslen(node.name()) + std::wcslen(node.value()) + std::wcslen(node.text());
        for (size_t i = 0; i < node.attributes(); ++i) {
            const pug::xml_attribute_struct* a = r->attribute[i];
            if (a->name && a->name_insitu && !Inside(a->name, begin, end))
                return ::testing::AssertionFailure() << "attribute name outside the text";
            if (a->value && a->value_insitu && !Inside(a->value, begin, end))
                return ::testing::AssertionFailure() << "attribute value outside the text";
            if (a->name) characters += std::wcslen(a->name);
            if (a->value) characters += std::wcslen(a->value);
        }
        size_t seen = 0;
        for (auto it = node.begin(); it != node.end(); ++it) {
            if (it->parent().record() != r)
                return ::testing::AssertionFailure() << "child with a wrong parent";
            pending.push_back(*it);
            ++seen;
        }
        if (seen != node.children()) return ::testing::AssertionFailure() << "iteration missed children";
    }
    (void)characters;
    if (count) *count = nodes;
    return ::testing::AssertionSuccess();
}

const wchar_t* const kSamples[] = {
    L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n"
    L"<startup>\r\n"
    L"  <module>OrvinEditor.dll</module>\r\n"
    L"  <install_path>Orvin/Editor</install_path>\r\n"
    L"  <update_url ssl=\"lv1\">http://update.example.com/editor</update_url>\r\n"
    L"  <todo>new</todo>\r\n"
    L"  <internal_call id=\"lang\">ko</internal_call>\r\n"
    L"  <agent type=\"ie\">iexplore</agent>\r\n"
    L"  <app_title><![CDATA[ 편집기 ]]></app_title>\r\n"
    L"  <!-- a comment -->\r\n"
    L"  <count>3</count>\r\n"
    L"</startup>\r\n",

    L"<?xml version='1.0'?><update module='editor.dll' data='QUJDREVGR0g='/>",

    L"<response><result code=\"0000\" message='ok &amp; done'/></response>",

    L"<!DOCTYPE r PUBLIC \"-//X//DTD\" 'r.dtd' [\n"
    L"  <!ELEMENT r (a|b)*>\n"
    L"  <!ATTLIST r id ID #REQUIRED>\n"
    L"  <!ENTITY % pe \"<!ENTITY x 'y'>\">\n"
    L"  <!ENTITY e '>[]'>\n"
    L"  <!NOTATION n SYSTEM 'n'>\n"
    L"  <?pi in='subset'?>\n"
    L"  <![INCLUDE[ <!ELEMENT a EMPTY> ]]>\n"
    L"]>\n<r id='1'><a/></r>",

    L"<a x='1' y=\"2\" z w = 'v'>t<b>u</b>v<c k='q'/>w<![CDATA[ cd ]]>x<!--c-->y<?p a='b'?>z</a>"
    L"</a></b>tail<d e=f g/><h\"x\">i<j/></h>",
};

std::wstring Mutate(const std::wstring& source, std::mt19937& random) {
    static const wchar_t* const kTokens[] = {
        L"<",           L">",           L"/",      L"/>",        L"</",
        L"<?",          L"?>",          L"<!",     L"<!--",      L"-->",
        L"]]>",         L"]",           L"[",      L"<![CDATA[", L"'",
        L"\"",          L"=",           L" ",      L"%",         L"<!DOCTYPE x [",
        L"<![INCLUDE[", L"<!ENTITY % ", L"?",      L"-",         L"<a ",
        L"&",           L"\t",          L"\xD800", L"\xFFFF",    L"<!ATTLIST ",
        L"<x",          L"\x01",
    };
    std::wstring text = source;
    int edits = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < edits; ++i) {
        size_t at = text.empty() ? 0 : random() % (text.size() + 1);
        switch (random() % 6) {
            case 0:  // replace one character
                if (at < text.size()) text[at] = kTokens[random() % (sizeof kTokens / sizeof *kTokens)][0];
                break;
            case 1:  // insert a token
                text.insert(at, kTokens[random() % (sizeof kTokens / sizeof *kTokens)]);
                break;
            case 2: {  // delete a run
                size_t n = random() % 16;
                if (at < text.size()) text.erase(at, n);
                break;
            }
            case 3: {  // duplicate a run
                size_t n = 1 + random() % 40;
                if (at < text.size()) text.insert(at, text.substr(at, n));
                break;
            }
            case 4:  // a random code unit, NUL included
                if (at < text.size()) text[at] = static_cast<wchar_t>(random() % 0x10000);
                break;
            default:  // cut off
                text.resize(at);
                break;
        }
    }
    return text;
}

TEST(PugRobustness, GuardPageFollowsTheTerminator) {
    GuardedText probe(L"<a/>");
    ASSERT_NE(nullptr, probe.data());
    MEMORY_BASIC_INFORMATION text = {};
    MEMORY_BASIC_INFORMATION after = {};
    ASSERT_NE(0u, ::VirtualQuery(probe.end(), &text, sizeof text));
    ASSERT_NE(0u, ::VirtualQuery(probe.end() + 1, &after, sizeof after));
    EXPECT_EQ(static_cast<DWORD>(PAGE_READWRITE), text.Protect);
    EXPECT_EQ(static_cast<DWORD>(PAGE_NOACCESS), after.Protect);
    EXPECT_EQ(after.BaseAddress, static_cast<const void*>(probe.end() + 1));
}

TEST(PugRobustness, EveryPrefixOfTheSamples) {
    size_t cases = 0;
    // The readers' options, and the subset parsed without ending the parse.
    for (unsigned long options : {0xFFFFul, 0xFFFFul & ~pug::parse_dtd_only})
        for (const wchar_t* sample : kSamples) {
            std::wstring text(sample);
            for (size_t n = 0; n <= text.size(); ++n) {
                GuardedText guarded(text.substr(0, n));
                ASSERT_NE(nullptr, guarded.data());
                pug::xml_parser parser(4, true, options);
                wchar_t* end = parser.parse(guarded.data());
                ASSERT_TRUE(end >= guarded.data() && end <= guarded.end()) << n;
                ASSERT_TRUE(CheckTree(parser.root(), guarded.data(), guarded.end())) << "prefix " << n;
                (void)parser.root().find_element(L"no such element");
                ++cases;
            }
        }
    EXPECT_GT(cases, 1800u);
}

TEST(PugRobustness, RandomMutationsUnderEveryOptionSet) {
    std::mt19937 random(20240611);
    const size_t samples = sizeof kSamples / sizeof *kSamples;
    size_t nodes_total = 0;
    pug::xml_parser reused(4, true, 0xFFFF);
    for (int i = 0; i < 4000; ++i) {
        std::wstring text = Mutate(kSamples[random() % samples], random);
        // Most cases with the readers' options, some with random ones.
        unsigned long options = (i % 4 == 3) ? (random() & 0xFFFF) : 0xFFFF;
        {
            GuardedText guarded(text);
            ASSERT_NE(nullptr, guarded.data());
            pug::xml_parser parser(4, true, options);
            wchar_t* end = parser.parse(guarded.data());
            ASSERT_TRUE(end >= guarded.data() && end <= guarded.end()) << i;
            size_t nodes = 0;
            ASSERT_TRUE(CheckTree(parser.root(), guarded.data(), guarded.end(), &nodes)) << "case " << i;
            nodes_total += nodes;
            pug::xml_node found = parser.root().find_element(L"*a*");
            (void)found.text();
            (void)parser.root().find_element(L"[!a-z]*").attribute_value(L"k*");
        }
        // A parser that is reused frees the previous tree on each parse.
        GuardedText again(text);
        ASSERT_NE(nullptr, again.data());
        reused.parse(again.data());
        ASSERT_TRUE(CheckTree(reused.root(), again.data(), again.end())) << "reused " << i;
        reused.parse(nullptr);
    }
    EXPECT_GT(nodes_total, 4000u);
}

TEST(PugRobustness, FiftyThousandLevelsDeep) {
    const int depth = 50000;
    std::wstring text;
    for (int i = 0; i < depth; ++i) text += L"<a k='v'>";
    text += L"<b> deep </b>";
    for (int i = 0; i < depth; ++i) text += L"</a>";
    {
        pug::xml_parser parser(4, true, 0xFFFF);
        ASSERT_NE(nullptr, parser.parse(&text[0]));
        pug::xml_node b = parser.root().find_element(L"b");
        ASSERT_FALSE(b.is_null());
        EXPECT_STREQ(L"deep", b.text());
        int levels = 0;
        for (pug::xml_node n = b.parent(); n.kind() == pug::node_element; n = n.parent()) ++levels;
        EXPECT_EQ(depth, levels);
        // A search that finds nothing walks every level.
        EXPECT_TRUE(parser.root().find_element(L"c").is_null());
        size_t nodes = 0;
        EXPECT_TRUE(CheckTree(parser.root(), text.c_str(), text.c_str() + text.size(), &nodes));
        EXPECT_EQ(static_cast<size_t>(depth) + 3, nodes);
    }  // freed here without recursion

    // Never closed, and nested inside an internal subset.
    std::wstring open = L"<!DOCTYPE r [";
    for (int i = 0; i < depth; ++i) open += L"<x>";
    {
        pug::xml_parser parser(4, true, 0xFFFF);
        parser.parse(&open[0]);
        EXPECT_TRUE(parser.root().find_element(L"y").is_null());
        EXPECT_FALSE(parser.root().find_element(L"x").is_null());
    }
}

TEST(PugRobustness, HugeAttributeAndChildCounts) {
    const int count = 200000;
    std::wstring text = L"<r";
    for (int i = 0; i < count; ++i) text += L" a" + std::to_wstring(i) + L"='" + std::to_wstring(i) + L"'";
    text += L">";
    for (int i = 0; i < count; ++i) text += L"<c/>";
    text += L"</r>";
    auto started = std::chrono::steady_clock::now();
    pug::xml_parser parser(4, true, 0xFFFF);
    ASSERT_NE(nullptr, parser.parse(&text[0]));
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    pug::xml_node r = parser.root().child(0);
    EXPECT_EQ(static_cast<size_t>(count), r.attributes());
    EXPECT_EQ(static_cast<size_t>(count), r.children());
    const std::wstring last = std::to_wstring(count - 1);
    EXPECT_STREQ(last.c_str(), r.attribute_value((L"a" + last).c_str()));
    EXPECT_STREQ(L"c", r.child(count - 1).name());
    // The arrays grow in proportion to their size; a fixed step would copy
    // for minutes here.
    EXPECT_LT(seconds, 10.0);

    std::wstring doctype = L"<!DOCTYPE";
    for (int i = 0; i < count; ++i) doctype += L" w 'q'";
    doctype += L">";
    pug::xml_parser second(4, true, 0xFFFF);
    second.parse(&doctype[0]);
    EXPECT_EQ(static_cast<size_t>(2 * count), second.root().child(0).attributes());
}

class PugAllocationTest : public ::testing::Test {
protected:
    void SetUp() override {
        Logger::Release();
        log = dir / L"pug.log";
        Logger::Instance()->SetFilePath(log);
    }
    void TearDown() override {
        pug::tree::limit_allocations(-1);
        Logger::Release();
    }
    testing_support::TempDir dir;
    std::wstring log;
};

TEST_F(PugAllocationTest, EveryAllocationFailingInTurnStopsSoftly) {
    std::wstring full;
    for (const wchar_t* sample : kSamples) full += sample;
    size_t complete_nodes = 0;
    ptrdiff_t complete_end = 0;
    {
        std::wstring copy = full;
        pug::xml_parser parser(4, true, 0xFFFF);
        complete_end = parser.parse(&copy[0]) - copy.c_str();
        ASSERT_TRUE(CheckTree(parser.root(), copy.c_str(), copy.c_str() + copy.size(), &complete_nodes));
    }
    size_t previous = 0;
    bool reached_complete = false;
    for (long long budget = 0; budget < 2000 && !reached_complete; ++budget) {
        GuardedText guarded(full);
        pug::xml_parser parser(4, true, 0xFFFF);
        pug::tree::limit_allocations(budget);
        wchar_t* end = parser.parse(guarded.data());
        pug::tree::limit_allocations(-1);
        ASSERT_NE(nullptr, end);
        if (budget == 0) {
            EXPECT_TRUE(parser.root().is_null());
            continue;
        }
        size_t nodes = 0;
        ASSERT_TRUE(CheckTree(parser.root(), guarded.data(), guarded.end(), &nodes)) << budget;
        // More memory never gives a smaller tree.
        EXPECT_GE(nodes, previous) << budget;
        previous = nodes;
        reached_complete = nodes == complete_nodes && end - guarded.data() == complete_end;
    }
    EXPECT_TRUE(reached_complete);
    std::wstring text = testing_support::ReadLogFile(log);
    EXPECT_NE(std::wstring::npos, text.find(L"*오류 : XML 문서를 읽을 메모리가 부족합니다."));
    EXPECT_NE(std::wstring::npos, text.find(L"*경고 : 메모리가 부족하여 XML 문서를 끝까지 읽지 못했습니다."));
}

TEST_F(PugAllocationTest, AttributeLookupWithoutMemoryGivesANullAttribute) {
    wchar_t text[] = L"<a k='v'/>";
    pug::xml_parser parser(4, true, 0xFFFF);
    parser.parse(text);
    pug::xml_node a = parser.root().child(0);
    pug::tree::limit_allocations(0);
    EXPECT_TRUE(a.attribute(L"missing").is_null());
    EXPECT_STREQ(L"", a.attribute_value(L"missing"));
    EXPECT_STREQ(L"v", a.attribute_value(L"k"));
    pug::tree::limit_allocations(-1);
    EXPECT_EQ(1u, a.attributes());
    EXPECT_NE(std::wstring::npos, testing_support::ReadLogFile(log).find(L"(missing)"));
}

}  // namespace
