// Parsing skin markup from text: the element tree, attributes, entities and
// every parse failure with its location.
#include <gtest/gtest.h>

#include <string>

#include "skinui/xml_markup.h"

using namespace SkinUI;

namespace {

// The tree as text: name[attr=value,...](children) siblings...
std::wstring Dump(const CXmlElement& first) {
  std::wstring out;
  for (CXmlElement e = first; e.IsValid(); e = e.GetNextSibling()) {
    if (!out.empty()) out += L' ';
    out += e.GetName();
    if (e.HasAttributes()) {
      out += L'[';
      for (int i = 0; i < e.GetAttributeCount(); ++i) {
        if (i) out += L',';
        out += std::wstring(e.GetAttributeName(i)) + L"=" + e.GetAttributeValue(i);
      }
      out += L']';
    }
    if (e.HasChildren()) out += L"(" + Dump(e.GetFirstChild()) + L")";
  }
  return out;
}

std::wstring Parsed(const wchar_t* xml) {
  CXmlMarkup markup;
  if (!markup.Load(xml)) return std::wstring(L"error: ") + markup.GetLastErrorMessage();
  return Dump(markup.GetRoot());
}

TEST(XmlMarkup, Trees) {
  struct Case {
    const wchar_t* xml;
    const wchar_t* tree;
  };
  const Case cases[] = {
      {L"<Window />", L"Window"},
      {L"<Window/>", L"Window"},
      {L"<Window></Window>", L"Window"},
      {L"<Window size=\"1,2\" caption=\"0,0,0,30\"><Label/><Button text=\"x\"/></Window>",
       L"Window[size=1,2,caption=0,0,0,30](Label Button[text=x])"},
      {L"<Control bkimage=\"a.png\"/>", L"Control[bkimage=a.png]"},
      {L"<Control a=\"1\" />", L"Control[a=1]"},
      {L"<Control a = \"1\"\tb\n=\n\"2\" >  </Control >", L"Control[a=1,b=2]"},
      {L"<A><B><C/></B><D/></A>", L"A(B(C) D)"},
      {L"<A/><B/>", L"A B"},
      {L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- c --><A><!-- inside --><B/></A><!-- end -->", L"A(B)"},
      {L"<!DOCTYPE anything goes up to the arrow -><A/>", L"A"},
      {L"  \r\n\t<A>some text</A>  ", L"A"},
      {L"< A />", L"A"},
      {L"<ns:a_1/>", L"ns:a_1"},
      {L"<A x=\"\"/>", L"A[x=]"},
      {L"<A b=\"1\"c=\"2\"/>", L"A[b=1,c=2]"},
      // Missing end tags are accepted at the first two levels.
      {L"<Window>", L"Window"},
      {L"<Window><Label>", L"Window(Label)"},
      {L"<Window><Label text=\"t\"><", L"error: Error parsing element name"},
      {L"<Window><VerticalLayout/><Label>text", L"Window(VerticalLayout Label)"},
      {L"<Window></Window><Second>", L"Window Second"},
      // A stray end tag at the top ends the document.
      {L"<A/></B>trailing", L"A"},
      // Names are compared with the end tag as written, case-sensitively.
      {L"<Label></Label>", L"Label"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.tree, Parsed(c.xml)) << c.xml;
}

TEST(XmlMarkup, NoRootWithoutElements) {
  const wchar_t* texts[] = {L"", L"   \r\n", L"<?xml version=\"1.0\"?>", L"<?xml version=\"1.0\"?><!-- a --> <!-- b -->"};
  for (const wchar_t* text : texts) {
    CXmlMarkup markup;
    EXPECT_TRUE(markup.Load(text)) << text;
    EXPECT_FALSE(markup.GetRoot().IsValid()) << text;
  }
}

TEST(XmlMarkup, Failures) {
  struct Case {
    const wchar_t* xml;
    const wchar_t* message;
    const wchar_t* location;
  };
  const Case cases[] = {
      {L"text", L"Expected start tag", L"text"},
      {L"<A/> junk", L"Expected start tag", L"junk"},
      {L"<Window><VerticalLayout><Label/>", L"Expected start tag", L""},
      {L"<A/><B><C>", L"Expected end-tag start", L""},
      {L"<A/><B><C>data", L"Expected end-tag start", L""},
      {L"<Window", L"Error parsing element name", L""},
      {L"<Window size=\"1\" #>", L"Error while parsing attributes", L"#>"},
      {L"<Window size>", L"Error while parsing attributes", L">"},
      {L"<Window size='1'>", L"Expected attribute value", L"1'>"},
      {L"<Window size=>", L"Expected attribute value", L""},
      {L"<Window size=\"1", L"Error while parsing attribute string", L""},
      {L"<Window size=\"1\" / >", L"Expected start-tag closing", L"/ >"},
      {L"<Window size=\"1\"", L"Expected start-tag closing", L""},
      {L"<Window></Label>", L"Unmatched closing tag", L"Label>"},
      {L"<label></Label>", L"Unmatched closing tag", L"Label>"},
      {L"<Window></Window x>", L"Unmatched closing tag", L"x>"},
      {L"<Window></Win>", L"Unmatched closing tag", L"Win>"},
      {L"<A><B>x</B>y", L"Expected start tag", L"y"},
  };
  for (const Case& c : cases) {
    CXmlMarkup markup;
    EXPECT_FALSE(markup.Load(c.xml)) << c.xml;
    EXPECT_STREQ(c.message, markup.GetLastErrorMessage()) << c.xml;
    EXPECT_STREQ(c.location, markup.GetLastErrorLocation()) << c.xml;
    EXPECT_FALSE(markup.GetRoot().IsValid()) << "released after failure: " << c.xml;
  }
}

TEST(XmlMarkup, ErrorLocationIsCutAt49Characters) {
  const std::wstring tail(80, L'z');
  CXmlMarkup markup;
  EXPECT_FALSE(markup.Load((L"<A/>" + tail).c_str()));
  EXPECT_EQ(tail.substr(0, 49), markup.GetLastErrorLocation());
}

TEST(XmlMarkup, SuccessClearsTheLastError) {
  CXmlMarkup markup;
  EXPECT_FALSE(markup.Load(L"<A"));
  EXPECT_TRUE(markup.Load(L"<A/>"));
  EXPECT_STREQ(L"", markup.GetLastErrorMessage());
  EXPECT_STREQ(L"", markup.GetLastErrorLocation());
}

TEST(XmlMarkup, EntitiesAndLiteralValues) {
  struct Case {
    const wchar_t* value;  // as written between the quotes
    const wchar_t* decoded;
  };
  const Case cases[] = {
      {L"a&amp;b", L"a&b"},
      {L"&lt;&gt;&quot;&apos;", L"<>\"'"},
      {L"&amp;lt;", L"&lt;"},  // decoded once only
      {L"&#65;&#x41;", L"&#65;&#x41;"},
      {L"a & b", L"a & b"},
      {L"&&amp;&", L"&&&"},
      {L"&amp", L"&amp"},
      {L"x&quot;", L"x\""},
      {L"tab\there\r\nline  two   ", L"tab\there\r\nline  two   "},
      {L"file='res\\common\\minbtn1.png' fade='255'", L"file='res\\common\\minbtn1.png' fade='255'"},
      {L"<b>bold</b>", L"<b>bold</b>"},
  };
  for (const Case& c : cases) {
    // A second attribute after the value shows that a shortened value leaves
    // the rest of the tag readable.
    const std::wstring xml = std::wstring(L"<Label text=\"") + c.value + L"\" after=\"ok\"/>";
    CXmlMarkup markup;
    ASSERT_TRUE(markup.Load(xml.c_str())) << xml << " " << markup.GetLastErrorMessage();
    CXmlElement root = markup.GetRoot();
    ASSERT_EQ(2, root.GetAttributeCount()) << xml;
    EXPECT_STREQ(c.decoded, root.GetAttributeValue(0)) << xml;
    EXPECT_STREQ(L"after", root.GetAttributeName(1)) << xml;
    EXPECT_STREQ(L"ok", root.GetAttributeValue(1)) << xml;
  }
}

TEST(XmlMarkup, AttributeQueries) {
  CXmlMarkup markup;
  ASSERT_TRUE(markup.Load(L"<Button name=\"okBtn\" Name=\"other\" text=\"twelve chars\"/>"));
  CXmlElement e = markup.GetRoot();
  EXPECT_EQ(3, e.GetAttributeCount());
  EXPECT_STREQ(L"", e.GetAttributeName(-1));
  EXPECT_STREQ(L"", e.GetAttributeValue(3));

  wchar_t buffer[8] = {};
  EXPECT_TRUE(e.GetAttributeValue(L"name", buffer, 7));
  EXPECT_STREQ(L"okBtn", buffer);
  EXPECT_TRUE(e.GetAttributeValue(L"Name", buffer, 7));
  EXPECT_STREQ(L"other", buffer) << "names are case-sensitive";
  EXPECT_FALSE(e.GetAttributeValue(L"NAME", buffer, 7));
  EXPECT_FALSE(e.GetAttributeValue(L"missing", buffer, 7));

  // A value of exactly n characters: n copied, no terminator added.
  wchar_t exact[6];
  std::fill(exact, exact + 6, L'#');
  EXPECT_TRUE(e.GetAttributeValue(L"name", exact, 5));
  EXPECT_EQ(std::wstring(L"okBtn#"), std::wstring(exact, 6));
  // A longer value is cut at n.
  wchar_t cut[5] = {};
  EXPECT_TRUE(e.GetAttributeValue(L"text", cut, 4));
  EXPECT_STREQ(L"twel", cut);

  CXmlElement invalid;
  EXPECT_FALSE(invalid.IsValid());
  EXPECT_EQ(nullptr, invalid.GetName());
  EXPECT_EQ(nullptr, invalid.GetAttributeName(0));
  EXPECT_EQ(nullptr, invalid.GetAttributeValue(0));
  EXPECT_EQ(0, invalid.GetAttributeCount());
  EXPECT_FALSE(invalid.HasChildren());
  EXPECT_FALSE(invalid.GetFirstChild().IsValid());
  EXPECT_FALSE(invalid.GetNextSibling().IsValid());
  EXPECT_FALSE(invalid.GetAttributeValue(L"name", buffer, 7));
}

TEST(XmlMarkup, AtMost64AttributesAreSeen) {
  for (int written : {63, 64, 65, 100}) {
    std::wstring xml = L"<Control";
    for (int i = 0; i < written; ++i) xml += L" a" + std::to_wstring(i) + L"=\"" + std::to_wstring(i) + L"\"";
    xml += L"><Child/></Control>";
    CXmlMarkup markup;
    ASSERT_TRUE(markup.Load(xml.c_str())) << written;
    CXmlElement e = markup.GetRoot();
    const int seen = written < 64 ? written : 64;
    EXPECT_EQ(seen, e.GetAttributeCount()) << written;
    EXPECT_EQ(std::to_wstring(seen - 1), e.GetAttributeValue(seen - 1)) << written;
    EXPECT_STREQ(L"", e.GetAttributeValue(64)) << written;
    wchar_t buffer[4] = {};
    EXPECT_FALSE(e.GetAttributeValue(L"a64", buffer, 3)) << written;
    EXPECT_STREQ(L"Child", e.GetFirstChild().GetName()) << written;
  }
}

TEST(XmlMarkup, HandlesCopyAndMapIndependently) {
  CXmlMarkup markup;
  ASSERT_TRUE(markup.Load(L"<W><A x=\"1\"/><B y=\"2\" z=\"3\"/></W>"));
  CXmlElement a = markup.GetRoot().GetFirstChild();
  CXmlElement b = a.GetNextSibling();
  CXmlElement copy = b;
  EXPECT_EQ(1, a.GetAttributeCount());
  EXPECT_EQ(2, copy.GetAttributeCount());
  EXPECT_STREQ(L"3", b.GetAttributeValue(1));
  EXPECT_FALSE(b.GetNextSibling().IsValid());
  EXPECT_FALSE(a.HasChildren());
}

TEST(XmlMarkup, ManyElementsGrowTheTable) {
  // Past the first table (500 records) and several growth steps.
  std::wstring xml = L"<Window>";
  for (int i = 0; i < 5000; ++i) xml += L"<Label n=\"" + std::to_wstring(i) + L"\"/>";
  xml += L"</Window>";
  CXmlMarkup markup;
  ASSERT_TRUE(markup.Load(xml.c_str()));
  int count = 0;
  std::wstring last;
  for (CXmlElement e = markup.GetRoot().GetFirstChild(); e.IsValid(); e = e.GetNextSibling(), ++count) {
    last = e.GetAttributeValue(0);
  }
  EXPECT_EQ(5000, count);
  EXPECT_EQ(L"4999", last);
}

TEST(XmlMarkup, DeepNestingDoesNotExhaustTheStack) {
  const int depth = 200000;
  std::wstring xml;
  for (int i = 0; i < depth; ++i) xml += L"<a>";
  for (int i = 0; i < depth; ++i) xml += L"</a>";
  CXmlMarkup markup;
  ASSERT_TRUE(markup.Load(xml.c_str()));
  int levels = 0;
  for (CXmlElement e = markup.GetRoot(); e.IsValid(); e = e.GetFirstChild()) ++levels;
  EXPECT_EQ(depth, levels);

  // The same, unclosed: below the second level end tags are required.
  xml.resize(depth * 3);
  EXPECT_FALSE(markup.Load(xml.c_str()));
  EXPECT_STREQ(L"Expected end-tag start", markup.GetLastErrorMessage());
}

TEST(XmlMarkup, ReleaseAndReloadInvalidateOldHandlesSafely) {
  CXmlMarkup markup;
  ASSERT_TRUE(markup.Load(L"<W><A/><B/><C/></W>"));
  CXmlElement c = markup.GetRoot().GetFirstChild().GetNextSibling().GetNextSibling();
  ASSERT_STREQ(L"C", c.GetName());
  ASSERT_TRUE(markup.Load(L"<W/>"));
  EXPECT_EQ(nullptr, c.GetName()) << "index beyond the new table";
  markup.Release();
  EXPECT_FALSE(markup.GetRoot().IsValid());
}

TEST(XmlMarkup, LoadCopiesTheText) {
  wchar_t text[] = L"<A b=\"&amp;\"/>";
  CXmlMarkup markup(text);
  EXPECT_STREQ(L"<A b=\"&amp;\"/>", text);
  EXPECT_STREQ(L"&", markup.GetRoot().GetAttributeValue(0));
  EXPECT_FALSE(markup.Load(nullptr));
  EXPECT_STREQ(L"No input", markup.GetLastErrorMessage());
}

}  // namespace
