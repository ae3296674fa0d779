// The XML document model: the tree each construct makes, which text is kept
// and which dropped, trimming, the handles, the search and the matcher.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/pug/pug.h"

namespace {

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            char buffer[16];
            snprintf(buffer, sizeof buffer, "\\u%04X", static_cast<unsigned>(c));
            out += buffer;
        }
    }
    return out;
}

// A parsed copy of a text; the buffer lives as long as the tree.
struct Doc {
    explicit Doc(const std::wstring& text, unsigned long options = pug::parse_default)
        : buffer(text.begin(), text.end()), parser(4, true, options) {
        buffer.push_back(L'\0');
        end = parser.parse(buffer.data());
    }
    pug::xml_node root() const { return parser.root(); }
    size_t stopped_at() const { return static_cast<size_t>(end - buffer.data()); }
    std::vector<wchar_t> buffer;
    pug::xml_parser parser;
    wchar_t* end;
};

std::string Quoted(const wchar_t* value) {
    return value ? "'" + Narrow(value) + "'" : "~";
}

// A compact picture of a small tree: element name[attributes](children),
// 'text', C'cdata', #'comment', ?pi, I'include', !DOCTYPE, !E/A/L/N decls.
std::string Dump(const pug::xml_node& node) {
    std::string out;
    switch (node.kind()) {
        case pug::node_document:
            break;
        case pug::node_element:
            out = Narrow(node.name());
            break;
        case pug::node_pcdata:
            return Quoted(node.record()->value);
        case pug::node_cdata:
            return "C" + Quoted(node.record()->value);
        case pug::node_comment:
            return "#" + Quoted(node.record()->value);
        case pug::node_include:
            return "I" + Quoted(node.record()->value);
        case pug::node_pi:
            out = "?" + Narrow(node.name());
            break;
        case pug::node_doctype:
            out = "!DOCTYPE";
            break;
        case pug::node_dtd_entity:
            return "!E:" + Narrow(node.name()) + "=" + Quoted(node.record()->value);
        case pug::node_dtd_attlist:
            return "!A:" + Narrow(node.name()) + "=" + Quoted(node.record()->value);
        case pug::node_dtd_element:
            return "!L:" + Narrow(node.name()) + "=" + Quoted(node.record()->value);
        case pug::node_dtd_notation:
            return "!N:" + Narrow(node.name()) + "=" + Quoted(node.record()->value);
        default:
            return "<null>";
    }
    if (node.attributes()) {
        out += "[";
        for (size_t i = 0; i < node.attributes(); ++i) {
            pug::xml_attribute a = node.attribute_at(i);
            if (i) out += " ";
            out += a.name() ? Narrow(a.name()) : "~";
            if (a.value()) out += "=" + Narrow(a.value());
        }
        out += "]";
    }
    if (node.children()) {
        std::string inner;
        for (size_t i = 0; i < node.children(); ++i) {
            if (i) inner += " ";
            inner += Dump(node.child(i));
        }
        if (node.kind() == pug::node_document) return inner;
        out += "(" + inner + ")";
    }
    return out;
}

std::string Parse(const std::wstring& text, unsigned long options = pug::parse_default) {
    Doc doc(text, options);
    return Dump(doc.root());
}

TEST(PugTree, StartupShape) {
    Doc doc(L"<startup><module>editor</module></startup>");
    pug::xml_node root = doc.root();
    EXPECT_EQ(pug::node_document, root.kind());
    ASSERT_EQ(1u, root.children());
    pug::xml_node startup = root.child(0);
    EXPECT_EQ(pug::node_element, startup.kind());
    EXPECT_STREQ(L"startup", startup.name());
    ASSERT_EQ(1u, startup.children());
    pug::xml_node module = startup.child(0);
    EXPECT_STREQ(L"module", module.name());
    ASSERT_EQ(1u, module.children());
    EXPECT_EQ(pug::node_pcdata, module.child(0).kind());
    EXPECT_STREQ(L"editor", module.child(0).value());
    EXPECT_EQ(startup.record(), module.parent().record());
    // The document node is its own parent; parsing ran to the terminator.
    EXPECT_EQ(root.record(), root.record()->parent);
    EXPECT_EQ(doc.buffer.size() - 1, doc.stopped_at());
}

TEST(PugTree, TextIsTrimmedAtItsEndsOnly) {
    EXPECT_EQ("a('x  y')", Parse(L"<a>  x  y  </a>"));
    EXPECT_EQ("a('x \t\r\n y')", Parse(L"<a>\r\n\tx \t\r\n y\t \n</a>"));
    // Only tab, line feed, carriage return and space are trimmed, and the
    // text is shifted to the front of its own storage.
    Doc doc(L"<a> \x01x\x01 </a>");
    const wchar_t* value = doc.root().child(0).child(0).value();
    EXPECT_EQ(std::wstring(L"\x01x\x01"), value);
    EXPECT_EQ(doc.buffer.data() + 3, value);
}

TEST(PugTree, WithoutWhiteSpaceNormalisationEveryControlCodeIsTrimmedByMovingTheStart) {
    Doc doc(L"<a> \x01x\x01 </a>", pug::parse_default & ~pug::parse_wnorm);
    const wchar_t* value = doc.root().child(0).child(0).value();
    EXPECT_EQ(std::wstring(L"x"), value);
    EXPECT_EQ(doc.buffer.data() + 5, value);
}

TEST(PugTree, DroppedAndKeptText) {
    // After a self-closing tag without attributes: dropped.
    EXPECT_EQ("a b", Parse(L"<a/>tail<b/>"));
    // After "/>" that directly follows an attribute's closing quote: kept.
    EXPECT_EQ("a[k=1] 'tail'", Parse(L"<a k='1'/>tail"));
    EXPECT_EQ("a[k=1] 'tail'", Parse(L"<a k=\"1\"/>tail"));
    // ... but not when white space separates them.
    EXPECT_EQ("a[k=1]", Parse(L"<a k='1' />tail"));
    // After an end tag that follows other markup: dropped.
    EXPECT_EQ("p(c)", Parse(L"<p><c></c>tail</p>"));
    // After an end tag whose "<" ended a text run: kept, in the parent.
    EXPECT_EQ("p(c('x') 'tail')", Parse(L"<p><c>x</c>tail</p>"));
    // Each end tag closes one level, whatever its name.
    EXPECT_EQ("p(c('x') 'y') 'z'", Parse(L"<p><c>x</c>y</q>z</p>"));
    // Before the first element, and after a DOCTYPE without a subset.
    EXPECT_EQ("r", Parse(L"lead<r/>"));
    EXPECT_EQ("!DOCTYPE[r=r] r", Parse(L"<!DOCTYPE r>tail<r/>"));
    // After a declaration.
    EXPECT_EQ("!L:x='y' r", Parse(L"<!ELEMENT x y>tail<r/>"));
    // After a comment, a CDATA section and an INCLUDE section: kept.
    EXPECT_EQ("r(#'c' 'after')", Parse(L"<r><!-- c -->after</r>"));
    EXPECT_EQ("r(C'x' 'y')", Parse(L"<r><![CDATA[ x ]]> y </r>"));
    EXPECT_EQ("r(I'z' 'w')", Parse(L"<r><![INCLUDE[ z ]]>w</r>"));
    // A start tag with attributes and a plain ">": kept.
    EXPECT_EQ("a[k=1 m]('t')", Parse(L"<a k='1' m>t</a>"));
    // White space alone makes no text node.
    EXPECT_EQ("a(b)", Parse(L"<a>  \r\n <b/> </a>"));
}

TEST(PugTree, TextAndElementOrder) {
    Doc doc(L"<a>x<b/>y</a>");
    EXPECT_EQ("a('x' b)", Dump(doc.root()));
    EXPECT_STREQ(L"x", doc.root().child(0).text());
    Doc nested(L"<a><b>x</b></a>");
    EXPECT_STREQ(L"", nested.root().child(0).text());
    EXPECT_STREQ(L"x", nested.root().child(0).child(0).text());
}

TEST(PugTree, EntityReferencesStayAsWritten) {
    EXPECT_EQ("a('1 &amp; 2')", Parse(L"<a>1 &amp; 2</a>"));
    EXPECT_EQ("a[k=&#65;&lt;]", Parse(L"<a k='&#65;&lt;'/>"));
}

TEST(PugTree, EndTagsAreNotMatched) {
    EXPECT_EQ("a('x') c", Parse(L"<a>x</b><c/>"));
    // Stray end tags at the top stay at the document node.
    EXPECT_EQ("r", Parse(L"</x></y><r/>"));
}

TEST(PugTree, DoctypeWithSubsetEndsTheParse) {
    Doc doc(L"<!DOCTYPE r [ <!ENTITY e 'v'> ]><r><x/></r>");
    EXPECT_EQ("!DOCTYPE[r=r](!E:e=''v'')", Dump(doc.root()));
    pug::xml_node doctype = doc.root().child(0);
    EXPECT_EQ(std::wstring(L" <!ENTITY e"), doctype.value());
    // Parsing stopped at the NUL written over the subset's "]".
    EXPECT_EQ(std::wstring(L"<!DOCTYPE r [ <!ENTITY e 'v'> ").size(), doc.stopped_at());
}

TEST(PugTree, DoctypeWordsQuotedStringsAndNestedBrackets) {
    EXPECT_EQ("!DOCTYPE[html=html PUBLIC=PUBLIC ~=-//W3C//DTD X// ~=x.dtd] r",
              Parse(L"<!DOCTYPE html PUBLIC \"-//W3C//DTD X//\" 'x.dtd'>text<r/>"));
    EXPECT_EQ("!DOCTYPE[r=r](!E:a='\"[x]\"' !E:b='c')",
              Parse(L"<!DOCTYPE r[<!ENTITY a \"[x]\"><!ENTITY b c>]><r/>"));
}

TEST(PugTree, SubsetParsedWithoutDtdOnlyGoesOnAfterTheDoctype) {
    EXPECT_EQ("!DOCTYPE[r=r](!E:e=''v'') r(a)", Parse(L"<!DOCTYPE r [<!ENTITY e 'v'>]> tail <r><a/></r>",
                                                      pug::parse_default & ~pug::parse_dtd_only));
    // Not parsed at all: the subset is the trimmed value.
    Doc doc(L"<!DOCTYPE r [ <!ENTITY e 'v'> ]><r/>", pug::parse_default & ~pug::parse_dtd);
    EXPECT_EQ("!DOCTYPE[r=r] r", Dump(doc.root()));
    EXPECT_EQ(std::wstring(L"<!ENTITY e 'v'>"), doc.root().child(0).value());
}

TEST(PugTree, Declarations) {
    std::string tree = Parse(
        L"<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ATTLIST r a CDATA \"x>y\"><!NOTATION n SYSTEM \"n\">"
        L"<!ENTITY % pe \"a>b\"><!ENTITY %q 'c'><!FOO bar  baz ><!ELEMENT e>]>");
    EXPECT_EQ(
        "!DOCTYPE[r=r](!L:r='(#PCDATA)' !A:r='a CDATA \"x' !N:n='SYSTEM \"n\"' !E:%pe='\"a>b\"' !E:%q=''c'' "
        "!E:bar='baz' !L:e='')",
        tree);
    // "% name" is not one piece of the text: the name is a copy.
    Doc doc(L"<!ENTITY % pe 'x'>");
    pug::xml_node decl = doc.root().child(0);
    EXPECT_EQ(pug::node_dtd_entity, decl.kind());
    EXPECT_STREQ(L"%pe", decl.name());
    EXPECT_FALSE(decl.record()->name_insitu);
    EXPECT_EQ(pug::node_dtd_attlist, Doc(L"<!ATTLIST a>").root().child(0).kind());
    EXPECT_EQ(pug::node_dtd_notation, Doc(L"<!NOTATION a>").root().child(0).kind());
    // The keyword is compared case-sensitively.
    EXPECT_EQ(pug::node_dtd_entity, Doc(L"<!element a>").root().child(0).kind());
}

TEST(PugTree, ProcessingInstructions) {
    Doc doc(L"<?xml version='1.0' encoding=\"utf-8\"?>\r\n<r/>");
    EXPECT_EQ("?xml[version=1.0 encoding=utf-8] r", Dump(doc.root()));
    EXPECT_EQ(pug::node_pi, doc.root().child(0).kind());
    // Without attributes the text after it is dropped; with them it is kept.
    EXPECT_EQ("?foo r", Parse(L"<?foo?>text<r/>"));
    EXPECT_EQ("?pi[a=1] 'tail'", Parse(L"<?pi a='1' ?>tail"));
    // "<?" without a name is skipped.
    EXPECT_EQ("r", Parse(L"<? x ?><r/>"));
    // Without the option no node is made.
    EXPECT_EQ("r", Parse(L"<?xml version='1.0'?><r/>", pug::parse_default & ~pug::parse_pi));
}

TEST(PugTree, CommentsAndSections) {
    EXPECT_EQ("#'a - b' r", Parse(L"<!--  a - b  --><r/>"));
    EXPECT_EQ("r(C'<not> &markup;')", Parse(L"<r><![CDATA[<not> &markup;]]></r>"));
    Doc cdata(L"<a><![CDATA[ q ]]></a>");
    EXPECT_STREQ(L"q", cdata.root().child(0).text());
    // Other "<![" sections are passed over.
    EXPECT_EQ("r(b)", Parse(L"<r><![IGNORE[ x ]]><b/></r>"));
    // Switched off: no node, the text after it still counts.
    EXPECT_EQ("r('after')", Parse(L"<r><!-- c -->after</r>", pug::parse_default & ~pug::parse_comments));
    // A comment that never ends keeps its node; the parse stops.
    EXPECT_EQ("r(#' open <b/>')", Parse(L"<r><!-- open <b/>"));
}

TEST(PugTree, Attributes) {
    // A name without "=" has a null value; an unquoted value reads as names.
    EXPECT_EQ("a[k m=v n x]('t')", Parse(L"<a k m = \"v\" n=x>t</a>"));
    EXPECT_EQ("a[k=v]('t')", Parse(L"<a k='  v  '>t</a>"));
    EXPECT_EQ("a[k=it's]", Parse(L"<a k=\"it's\"/>"));
    Doc doc(L"<a one='1' two=\"2\" flag/>");
    pug::xml_node a = doc.root().child(0);
    ASSERT_EQ(3u, a.attributes());
    EXPECT_EQ(nullptr, a.attribute_at(2).value());
    EXPECT_TRUE(a.attribute_at(3).is_null());
    EXPECT_STREQ(L"2", a.attribute_value(L"two"));
    EXPECT_STREQ(L"1", a.attribute(L"o*").value());
    EXPECT_STREQ(L"", a.attribute_value(L"flag"));
    // A missing name appends an empty attribute that later lookups find.
    EXPECT_STREQ(L"", a.attribute_value(L"missing"));
    ASSERT_EQ(4u, a.attributes());
    EXPECT_STREQ(L"missing", a.attribute_at(3).name());
    EXPECT_FALSE(a.attribute_at(3).is_null());
    EXPECT_STREQ(L"", a.attribute_value(L"missing"));
    EXPECT_EQ(4u, a.attributes());
    // Names are matched case-sensitively.
    EXPECT_STREQ(L"", a.attribute_value(L"ONE"));
}

TEST(PugTree, ElementNameEndingInAnOddCharacter) {
    // Content follows at once, but text before the next "<" is dropped.
    EXPECT_EQ("a(b)", Parse(L"<a\"x\">y<b/></a>"));
    EXPECT_EQ("r('a')", Parse(L"<r>a < b</r>"));
}

TEST(PugTree, StopsAtANulInTheMiddle) {
    std::wstring text(L"<r><a>x</a>\0<b/></r>", 20);
    Doc doc(text);
    EXPECT_EQ("r(a('x'))", Dump(doc.root()));
    EXPECT_EQ(11u, doc.stopped_at());
}

TEST(PugTree, CutOffInsideAnAttributeValueKeepsEverything) {
    Doc doc(L"<r><a k='1'><b m=\"x y ");
    EXPECT_EQ("r(a[k=1](b[m=x y ]))", Dump(doc.root()));
    EXPECT_EQ(doc.buffer.size() - 1, doc.stopped_at());
}

TEST(PugTree, CutOffTextIsKept) {
    EXPECT_EQ("r(a('tail'))", Parse(L"<r><a> tail "));
}

TEST(PugParser, NullTextAndReparse) {
    pug::xml_parser parser(4, true, 0xFFFF);
    EXPECT_EQ(nullptr, parser.parse(nullptr));
    EXPECT_TRUE(parser.root().is_null());
    wchar_t first[] = L"<a><b/></a>";
    EXPECT_NE(nullptr, parser.parse(first));
    EXPECT_EQ("a(b)", Dump(parser.root()));
    wchar_t second[] = L"<c/>";
    EXPECT_EQ(second + 4, parser.parse(second));
    EXPECT_EQ("c", Dump(parser.root()));
    wchar_t empty[] = L"";
    EXPECT_EQ(empty, parser.parse(empty));
    EXPECT_FALSE(parser.root().is_null());
    EXPECT_EQ(0u, parser.root().children());
}

TEST(PugNode, NullHandles) {
    pug::xml_node none;
    EXPECT_TRUE(none.is_null());
    EXPECT_EQ(pug::node_null, none.kind());
    EXPECT_STREQ(L"", none.name());
    EXPECT_STREQ(L"", none.value());
    EXPECT_STREQ(L"", none.text());
    EXPECT_FALSE(none.name_equals(L""));
    EXPECT_EQ(0u, none.children());
    EXPECT_TRUE(none.child(0).is_null());
    EXPECT_TRUE(none.find_element(L"*").is_null());
    EXPECT_TRUE(none.parent().is_null());
    // Nothing is appended to a handle to nothing.
    EXPECT_TRUE(none.attribute(L"x").is_null());
    EXPECT_STREQ(L"", none.attribute_value(L"x"));
    EXPECT_EQ(0u, none.attributes());
    EXPECT_FALSE(none.begin() != none.end());
    // A copy of a null handle must not point into the original.
    pug::xml_node copy;
    {
        pug::xml_node temporary;
        copy = temporary;
    }
    EXPECT_TRUE(copy.is_null());
    EXPECT_EQ(nullptr, copy.record());
    pug::xml_node constructed(copy);
    EXPECT_TRUE(constructed.is_null());
}

TEST(PugNode, NameEqualsIgnoresCaseFindElementDoesNot) {
    Doc doc(L"<root><Startup><MODULE>m</MODULE></Startup></root>");
    EXPECT_TRUE(doc.root().find_element(L"startup").is_null());
    pug::xml_node found = doc.root().find_element(L"Startup");
    ASSERT_FALSE(found.is_null());
    pug::xml_node module = found.child(0);
    EXPECT_TRUE(module.name_equals(L"module"));
    EXPECT_TRUE(module.name_equals(L"MoDuLe"));
    EXPECT_FALSE(module.name_equals(L"modul"));
    EXPECT_FALSE(module.name_equals(nullptr));
}

TEST(PugNode, FindElementIsDepthFirstPreOrder) {
    Doc doc(L"<r><a><x id='1'/></a><x id='2'/><b><c><x id='3'/></c></b></r>");
    pug::xml_node x = doc.root().find_element(L"x");
    ASSERT_FALSE(x.is_null());
    EXPECT_STREQ(L"1", x.attribute_value(L"id"));
    EXPECT_STREQ(L"r", doc.root().find_element(L"?").name());
    EXPECT_STREQ(L"a", doc.root().child(0).find_element(L"?").name());
    EXPECT_TRUE(doc.root().find_element(L"nothing").is_null());
    EXPECT_STREQ(L"3", doc.root().find_element(L"b").find_element(L"x").attribute_value(L"id"));
    // Only below the node, never the node itself.
    EXPECT_TRUE(doc.root().find_element(L"c").find_element(L"c").is_null());
    // Wildcards; declarations and instructions have names too.
    Doc pi(L"<?xml version='1.0'?><doc/>");
    EXPECT_EQ(pug::node_pi, pi.root().find_element(L"x*").kind());
    EXPECT_STREQ(L"doc", pi.root().find_element(L"d[n-p]?").name());
}

TEST(PugNode, Iteration) {
    Doc doc(L"<r><a/>x<b k='v'/>tail<!--c--></r>");
    pug::xml_node r = doc.root().child(0);
    std::vector<std::string> seen;
    for (pug::xml_node::xml_node_iterator it = r.begin(); it != r.end(); ++it) {
        seen.push_back(Dump(*it));
        EXPECT_EQ(it->record(), (*it).record());
    }
    EXPECT_EQ((std::vector<std::string>{"a", "b[k=v]", "'tail'", "#'c'"}), seen);
    pug::xml_node::xml_node_iterator it = r.begin();
    EXPECT_TRUE(it.good());
    EXPECT_FALSE(it.oob());
    it.index(4);
    EXPECT_TRUE(it.oob());
    EXPECT_TRUE((*it).is_null());
    it.index(-1);
    EXPECT_TRUE(it.oob());
    EXPECT_TRUE(it->is_null());
    --it;
    EXPECT_EQ(-2, it.index());
    pug::xml_node::xml_node_iterator other = r.end();
    EXPECT_TRUE(it < other);
    EXPECT_TRUE(other > it);
    EXPECT_TRUE(other >= r.end());
    EXPECT_TRUE(other <= r.end());
    other = it;
    EXPECT_TRUE(other == it);
    // Copies hold their own handle.
    pug::xml_node::xml_node_iterator first = r.begin();
    pug::xml_node::xml_node_iterator second = first;
    ++second;
    EXPECT_STREQ(L"a", first->name());
    EXPECT_STREQ(L"b", second->name());
    EXPECT_STREQ(L"a", first->name());
    pug::xml_node leaf = r.child(0);
    EXPECT_FALSE(leaf.begin().good());
    EXPECT_FALSE(leaf.begin() != leaf.end());
}

TEST(PugWildcard, Matching) {
    using pug::wildcard_match;
    EXPECT_TRUE(wildcard_match(L"startup", L"startup"));
    EXPECT_FALSE(wildcard_match(L"startup", L"Startup"));
    EXPECT_FALSE(wildcard_match(L"start", L"startup"));
    EXPECT_FALSE(wildcard_match(L"startup", L"start"));
    EXPECT_TRUE(wildcard_match(L"*", L""));
    EXPECT_TRUE(wildcard_match(L"*", L"anything"));
    EXPECT_TRUE(wildcard_match(L"", L""));
    EXPECT_FALSE(wildcard_match(L"", L"a"));
    EXPECT_TRUE(wildcard_match(L"a*c", L"abbbc"));
    EXPECT_TRUE(wildcard_match(L"a*c", L"ac"));
    EXPECT_FALSE(wildcard_match(L"a*c", L"acb"));
    EXPECT_TRUE(wildcard_match(L"*.xml", L"active.update.xml"));
    EXPECT_TRUE(wildcard_match(L"a**", L"a"));
    EXPECT_TRUE(wildcard_match(L"a?c", L"abc"));
    EXPECT_FALSE(wildcard_match(L"a?c", L"ac"));
    EXPECT_TRUE(wildcard_match(L"[a-c]x", L"bx"));
    EXPECT_FALSE(wildcard_match(L"[a-c]x", L"dx"));
    EXPECT_TRUE(wildcard_match(L"[!a-c]x", L"dx"));
    EXPECT_FALSE(wildcard_match(L"[!a-c]x", L"ax"));
    EXPECT_TRUE(wildcard_match(L"[xyz]", L"y"));
    EXPECT_TRUE(wildcard_match(L"[]]", L"]"));
    // An unclosed set is an ordinary "[".
    EXPECT_TRUE(wildcard_match(L"[ab", L"[ab"));
    EXPECT_FALSE(wildcard_match(L"[ab", L"a"));
    EXPECT_TRUE(wildcard_match(L"*a*b*c*", L"xxaxxbxxcxx"));
    EXPECT_FALSE(wildcard_match(L"*a*b*c*d", L"xxaxxbxxcxx"));
    EXPECT_FALSE(wildcard_match(nullptr, L"a"));
    EXPECT_FALSE(wildcard_match(L"a", nullptr));
    // A hostile pattern costs pattern length times text length, no more.
    std::wstring text(20000, L'a');
    std::wstring pattern;
    for (int i = 0; i < 200; ++i) pattern += L"*a";
    pattern += L"b";
    EXPECT_FALSE(wildcard_match(pattern.c_str(), text.c_str()));
}

}  // namespace
