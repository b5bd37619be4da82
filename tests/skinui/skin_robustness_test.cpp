// Generated bad input for the archive decoder and the markup reader, each run
// bounded in time: damaged archives and random or mutated markup must give a
// defined result (no archive or a table of whole entries; a tree or a known
// failure message), never a crash or a read past the input, which ends at a
// guard page.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "skinui/skin_archive.h"
#include "skinui/xml_markup.h"
#include "tests/skinui/fixtures.h"
#include "tests/skinui/guarded_buffer.h"

using namespace SkinUI;
using SkinTest::GuardedBuffer;

namespace {

constexpr ULONGLONG kRunMs = 1500;
constexpr uint32_t kSeed = 20261211;

// The real skin archive of the installer (embedded in this program's module).
std::string SkinArchiveBytes() {
  HMODULE self = GetModuleHandleW(nullptr);
  HRSRC info = FindResourceW(self, MAKEINTRESOURCEW(147), L"ZIPRES");
  if (!info) return std::string();
  HGLOBAL data = LoadResource(self, info);
  return std::string(static_cast<const char*>(LockResource(data)), SizeofResource(self, info));
}

void CheckArchive(const std::string& bytes) {
  GuardedBuffer input(bytes);
  std::unique_ptr<SkinArchive> archive = SkinArchiveOpenMemory(input.data(), input.size());
  if (!archive) return;
  for (const SkinArchiveEntry& e : archive->entries) {
    ASSERT_EQ(e.size, e.bytes.size()) << "an entry is whole or missing";
    uint32_t index = 0;
    uint64_t size = 0;
    ASSERT_TRUE(SkinArchiveFind(archive.get(), e.name.c_str(), &index, &size));
    std::vector<unsigned char> copy(static_cast<size_t>(size));
    ASSERT_TRUE(SkinArchiveExtract(archive.get(), index, copy.data(), copy.size()));
  }
}

TEST(SkinRobustness, TruncatedArchivesGiveNoHandle) {
  for (const std::string& whole : {SkinArchiveBytes(), SkinTest::ReadFixture(L"partial.7z")}) {
    ASSERT_FALSE(whole.empty());
    const ULONGLONG end = GetTickCount64() + kRunMs / 2;
    size_t step = whole.size() > 4000 ? whole.size() / 2000 : 1, tried = 0;
    for (size_t cut = 0; cut < whole.size() && GetTickCount64() < end; cut += step, ++tried) {
      GuardedBuffer input(whole.substr(0, cut));
      ASSERT_FALSE(SkinArchiveOpenMemory(input.data(), input.size())) << "cut at " << cut;
    }
    std::printf("truncated %zu of %zu possible cuts\n", tried, whole.size());
  }
}

TEST(SkinRobustness, BitFlippedArchives) {
  std::mt19937 random(kSeed);
  const std::string archives[] = {SkinArchiveBytes(), SkinTest::ReadFixture(L"partial.7z")};
  size_t runs = 0, opened = 0;
  const ULONGLONG end = GetTickCount64() + kRunMs;
  while (GetTickCount64() < end) {
    std::string bytes = archives[runs % 2];
    const int flips = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < flips; ++i) bytes[random() % bytes.size()] ^= static_cast<char>(1u << (random() % 8));
    CheckArchive(bytes);
    if (HasFatalFailure()) return;
    ++runs;
    GuardedBuffer input(bytes);
    if (SkinArchiveOpenMemory(input.data(), input.size())) ++opened;
  }
  std::printf("%zu damaged archives, %zu still opened\n", runs, opened);
  EXPECT_GT(runs, 20u);
}

const std::set<std::wstring>& KnownMessages() {
  static const std::set<std::wstring> messages = {
      L"Expected start tag",          L"Error parsing element name",     L"Expected start-tag closing",
      L"Expected end-tag start",      L"Unmatched closing tag",          L"Error while parsing attributes",
      L"Expected attribute value",    L"Error while parsing attribute string"};
  return messages;
}

// Loads and, on success, visits every element and attribute.
void CheckMarkup(const std::string& bytes, int encoding) {
  GuardedBuffer input(bytes);
  CXmlMarkup markup;
  if (!markup.LoadFromMemory(input.data(), input.size(), encoding)) {
    ASSERT_EQ(1u, KnownMessages().count(markup.GetLastErrorMessage())) << markup.GetLastErrorMessage();
    ASSERT_FALSE(markup.GetRoot().IsValid());
    return;
  }
  std::vector<CXmlElement> pending;
  if (markup.GetRoot().IsValid()) pending.push_back(markup.GetRoot());
  size_t visited = 0;
  while (!pending.empty()) {
    CXmlElement e = pending.back();
    pending.pop_back();
    ASSERT_LT(++visited, bytes.size() + 2) << "more elements than characters";
    ASSERT_NE(nullptr, e.GetName());
    const int count = e.GetAttributeCount();
    ASSERT_LE(count, CXmlElement::kMaxAttributes);
    for (int i = 0; i < count; ++i) {
      volatile size_t touch = wcslen(e.GetAttributeName(i)) + wcslen(e.GetAttributeValue(i));
      (void)touch;
    }
    wchar_t buffer[8] = {};
    e.GetAttributeValue(L"name", buffer, 7);
    if (e.GetNextSibling().IsValid()) pending.push_back(e.GetNextSibling());
    if (e.HasChildren()) pending.push_back(e.GetFirstChild());
  }
}

std::string Utf16Le(const std::string& utf8) {
  std::string out = "\xFF\xFE";
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring wide(n, L'\0');
  if (n) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], n);
  for (wchar_t c : wide) out += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return out;
}

TEST(SkinRobustness, RandomAndMutatedMarkup) {
  // Seeds: the installer's own skins and markup that exercises every construct.
  std::vector<std::string> seeds = {
      "<?xml version=\"1.0\"?><!-- c --><Window a=\"1\" b = \"&amp;&lt;x&gt;\"><L t=\"&quot;\"/>text<B></B></Window>",
      "<A><B><C d=\"e\"/></B></A><F>", "<W>&amp;&apos;<X y=\"'\t\r\n'\"/></W>"};
  const std::string skin = SkinArchiveBytes();
  std::unique_ptr<SkinArchive> archive = SkinArchiveOpenMemory(skin.data(), skin.size());
  ASSERT_TRUE(archive);
  for (const SkinArchiveEntry& e : archive->entries) {
    if (e.name.size() > 4 && e.name.compare(e.name.size() - 4, 4, L".xml") == 0) {
      seeds.emplace_back(e.bytes.begin(), e.bytes.end());
    }
  }
  const char alphabet[] = "<>/=\"'&;!?- \t\naA:_#\xE4\xB8\xAD";
  std::mt19937 random(kSeed);
  size_t runs = 0;
  const ULONGLONG end = GetTickCount64() + kRunMs;
  while (GetTickCount64() < end) {
    std::string text;
    if (runs % 5 == 0) {
      text.resize(random() % 200);
      for (char& c : text) c = static_cast<char>(random());
    } else {
      text = seeds[random() % seeds.size()];
      const int edits = 1 + static_cast<int>(random() % 6);
      for (int i = 0; i < edits && !text.empty(); ++i) {
        const size_t at = random() % text.size();
        switch (random() % 4) {
          case 0: text[at] = alphabet[random() % (sizeof alphabet - 1)]; break;
          case 1: text.insert(at, 1, alphabet[random() % (sizeof alphabet - 1)]); break;
          case 2: text.erase(at, 1 + random() % 8); break;
          default: text.resize(at); break;
        }
      }
    }
    const int encoding = static_cast<int>(runs % 3);
    CheckMarkup(encoding == kXmlEncodingUtf16 ? Utf16Le(text) : text, encoding);
    if (HasFatalFailure()) {
      ADD_FAILURE() << "input: " << text;
      return;
    }
    ++runs;
  }
  std::printf("%zu markup inputs\n", runs);
  EXPECT_GT(runs, 100u);
}

TEST(SkinRobustness, LargeShapes) {
  struct Shape {
    const char* label;
    std::string text;
  };
  std::string deep, unclosed, attributes = "<Control", wide = "<W>";
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  unclosed = deep;
  for (int i = 0; i < 100000; ++i) deep += "</a>";
  for (int i = 0; i < 65; ++i) attributes += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
  attributes += "/>";
  for (int i = 0; i < 20000; ++i) wide += "<c x=\"&amp;&amp;\" y=\"\"/>";
  const Shape shapes[] = {{"deep", deep}, {"deep, unclosed", unclosed}, {"65 attributes", attributes},
                          {"wide", wide + "</W>"}, {"wide, unclosed", wide}, {"4 MiB of '<'", std::string(4194305, '<')},
                          {"4 MiB of spaces", std::string(4194304, ' ')}};
  for (const Shape& s : shapes) {
    SCOPED_TRACE(s.label);
    CheckMarkup(s.text, kXmlEncodingUtf8);
  }
}

}  // namespace
