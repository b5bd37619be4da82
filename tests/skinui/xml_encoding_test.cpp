// Loading markup from bytes: UTF-8 with and without its mark, UTF-16 in both
// byte orders, the active code page, and input that cannot be decoded. Every
// input ends at a guard page, so a read past it would fault.
#include <gtest/gtest.h>

#include <string>

#include "skinui/xml_markup.h"
#include "tests/skinui/guarded_buffer.h"
#include "utils/text.h"

using namespace SkinUI;
using SkinTest::GuardedBuffer;

namespace {

const wchar_t kText[] = L"<Window caption=\"温馨提示\"><Label text=\"安装完成 &amp; ok\"/></Window>";

std::string Utf16(const std::wstring& text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (wchar_t c : text) {
    const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    bytes += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return bytes;
}

// "caption|text" of the known tree, or the failure message.
std::wstring Load(const std::string& bytes, int encoding) {
  GuardedBuffer input(bytes);
  CXmlMarkup markup;
  if (!markup.LoadFromMemory(input.data(), input.size(), encoding)) {
    return std::wstring(L"error: ") + markup.GetLastErrorMessage();
  }
  CXmlElement root = markup.GetRoot();
  if (!root.IsValid()) return L"no root";
  std::wstring out = root.GetAttributeValue(0);
  if (root.HasChildren()) out += std::wstring(L"|") + root.GetFirstChild().GetAttributeValue(0);
  return out;
}

TEST(XmlEncoding, SameTreeFromEveryEncoding) {
  const std::string utf8 = Utils::ToNarrow(kText, Utils::kUtf8CodePage);
  const std::wstring expected = L"温馨提示|安装完成 & ok";
  struct Case {
    const char* label;
    std::string bytes;
    int encoding;
  };
  const Case cases[] = {
      {"UTF-8", utf8, kXmlEncodingUtf8},
      {"UTF-8 with mark", "\xEF\xBB\xBF" + utf8, kXmlEncodingUtf8},
      {"UTF-16 LE", Utf16(kText, false), kXmlEncodingUtf16},
      {"UTF-16 BE", Utf16(kText, true), kXmlEncodingUtf16},
      {"UTF-16 LE with an odd last byte", Utf16(kText, false) + "<", kXmlEncodingUtf16},
  };
  for (const Case& c : cases) EXPECT_EQ(expected, Load(c.bytes, c.encoding)) << c.label;
}

TEST(XmlEncoding, ActiveCodePage) {
  const std::wstring text = L"<A t=\"caf\u00e9 \u00fc\"/>";
  const std::string narrow = Utils::ToNarrow(text, Utils::kActiveCodePage);
  ASSERT_FALSE(narrow.empty());
  const std::wstring roundTrip = Utils::ToWide(narrow, Utils::kActiveCodePage);  // what this code page keeps
  CXmlMarkup expected;
  ASSERT_TRUE(expected.Load(roundTrip.c_str()));
  EXPECT_EQ(expected.GetRoot().GetAttributeValue(0), Load(narrow, kXmlEncodingAnsi));
  // The mark means nothing in a code page: it stays part of the text.
  EXPECT_EQ(L"error: Expected start tag", Load("\xEF\xBB\xBF<A/>", kXmlEncodingAnsi).substr(0, 25));
}

TEST(XmlEncoding, BigEndianInputIsLeftAsItWas) {
  const std::string bytes = Utf16(kText, true);
  std::string copy = bytes;
  CXmlMarkup markup;
  ASSERT_TRUE(markup.LoadFromMemory(&copy[0], copy.size(), kXmlEncodingUtf16));
  EXPECT_EQ(bytes, copy);
  ASSERT_TRUE(markup.LoadFromMemory(&copy[0], copy.size(), kXmlEncodingUtf16)) << "loads again the same";
  EXPECT_STREQ(L"温馨提示", markup.GetRoot().GetAttributeValue(0));
}

TEST(XmlEncoding, UndecodableInput) {
  struct Case {
    const char* label;
    std::string bytes;
    int encoding;
    const wchar_t* result;
  };
  const Case cases[] = {
      {"UTF-16 without a mark", std::string("<\0A\0/\0>\0", 8), kXmlEncodingUtf16, L"error: Expected byte-order mark"},
      {"UTF-16 of one byte", "\xFF", kXmlEncodingUtf16, L"error: Expected byte-order mark"},
      {"UTF-16 of no bytes", "", kXmlEncodingUtf16, L"error: Expected byte-order mark"},
      {"UTF-16 of the mark alone", "\xFF\xFE", kXmlEncodingUtf16, L"no root"},
      {"unknown encoding", "<A/>", 3, L"error: Unknown encoding"},
      {"negative encoding", "<A/>", -1, L"error: Unknown encoding"},
      {"no bytes", "", kXmlEncodingUtf8, L"no root"},
      {"the mark alone", "\xEF\xBB\xBF", kXmlEncodingUtf8, L"no root"},
      {"a partial mark", "\xEF\xBB", kXmlEncodingUtf8, L"error: Expected start tag"},
      // Invalid UTF-8 becomes replacement characters, inside a value harmlessly.
      {"invalid UTF-8 in a value", "<A t=\"\xC3\x28\xFF\"/>", kXmlEncodingUtf8, L"\uFFFD(\uFFFD"},
      // A NUL byte ends the text.
      {"NUL inside", std::string("<A t=\"1\"/>\0<B", 13), kXmlEncodingUtf8, L"1"},
      {"NUL inside a value", std::string("<A t=\"1\0\"/>", 10), kXmlEncodingUtf8,
       L"error: Error while parsing attribute string"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.result, Load(c.bytes, c.encoding)) << c.label;

  CXmlMarkup markup;
  EXPECT_FALSE(markup.LoadFromMemory(nullptr, 4));
  EXPECT_STREQ(L"No input", markup.GetLastErrorMessage());
  EXPECT_STREQ(L"", markup.GetLastErrorLocation());
}

}  // namespace
