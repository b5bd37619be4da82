#pragma once
// The markup reader: one skin file, an XML text, parsed once and in place into
// a read-only tree of elements that small handles walk.
//
//   CXmlMarkup markup;
//   if (!markup.LoadFromFile(L"mainWnd.xml")) Report(markup.GetLastErrorMessage());
//   for (CXmlElement e = markup.GetRoot().GetFirstChild(); e.IsValid(); e = e.GetNextSibling())
//     for (int i = 0; i < e.GetAttributeCount(); ++i) Use(e.GetAttributeName(i), e.GetAttributeValue(i));
//
// A subset of XML: elements, attributes in double quotes, the entities amp,
// lt, gt, quot and apos, comments and processing instructions (skipped). No
// namespaces, CDATA, numeric character references or document types. The
// first top-level element and its children may end with the text instead of
// an end tag. Whitespace in character data and attribute values is kept as
// written. Names and values are pointers into the document's text: they and
// every handle are valid only while the document stays loaded.
//
// Failures leave the document released and keep a message (at most 99
// characters) and, for parse errors, the text where parsing stopped (at most
// 49 characters). Besides the parse and file messages of the reader
// ("Expected start tag", "Error opening file", ...) input that cannot be read
// at all gives "Expected byte-order mark" (UTF-16 without FF FE / FE FF),
// "Unknown encoding", "No input", "Input too large" or "Out of memory".
#include <cstddef>
#include <cstdint>
#include <memory>

namespace SkinUI {

enum XmlEncoding : int {
  kXmlEncodingUtf8 = 0,   // with or without EF BB BF
  kXmlEncodingUtf16 = 1,  // little- or big-endian, with its byte-order mark
  kXmlEncodingAnsi = 2,   // the active code page
};

class CXmlMarkup;

class CXmlElement {
 public:
  static constexpr int kMaxAttributes = 64;

  CXmlElement() = default;

  bool IsValid() const { return owner_ != nullptr; }
  const wchar_t* GetName() const;  // null for an invalid handle
  // Invalid handles when there is no such element.
  CXmlElement GetFirstChild() const;
  CXmlElement GetNextSibling() const;
  bool HasChildren() const;

  // Attributes are located on the first query (at most the first 64).
  int GetAttributeCount() const;
  bool HasAttributes() const { return GetAttributeCount() > 0; }
  // Null for an invalid handle, "" for an index out of range.
  const wchar_t* GetAttributeName(int index) const;
  const wchar_t* GetAttributeValue(int index) const;
  // Case-sensitive name. Copies at most n characters of the value, like
  // wcsncpy: a value of n characters or more leaves the buffer unterminated,
  // so pass n + 1 zeroed characters. False when no attribute has that name.
  bool GetAttributeValue(const wchar_t* name, wchar_t* buffer, size_t n) const;

 private:
  friend class CXmlMarkup;
  CXmlElement(const CXmlMarkup* owner, uint32_t element) : element_(element), owner_(owner) {}
  bool Usable() const;
  void MapAttributes() const;

  uint32_t element_ = 0;
  mutable uint32_t attributeCount_ = 0;  // 0: not mapped yet
  mutable uint32_t attributes_[kMaxAttributes][2] = {};  // name start, value start
  const CXmlMarkup* owner_ = nullptr;
};

class CXmlMarkup {
 public:
  static constexpr uint32_t kMaxFileBytes = 4194304;

  CXmlMarkup() = default;
  explicit CXmlMarkup(const wchar_t* xml) { Load(xml); }
  ~CXmlMarkup() { Release(); }
  CXmlMarkup(const CXmlMarkup&) = delete;
  CXmlMarkup& operator=(const CXmlMarkup&) = delete;

  // Each load releases the document first.
  bool Load(const wchar_t* xml);
  bool LoadFromMemory(const void* bytes, size_t size, int encoding = kXmlEncodingUtf8);
  // A skin file by relative name, from the skin archive or the resource path
  // (see skin_file.h), 1 byte to 4 MiB.
  bool LoadFromFile(const wchar_t* name, int encoding = kXmlEncodingUtf8);
  void Release();

  // The first top-level element; invalid when the document holds none.
  CXmlElement GetRoot() const;

  const wchar_t* GetLastErrorMessage() const { return errorMessage_; }
  const wchar_t* GetLastErrorLocation() const { return errorLocation_; }

 private:
  friend class CXmlElement;
  struct ElementRecord {
    uint32_t nameStart = 0;
    uint32_t firstChild = 0;
    uint32_t nextSibling = 0;
    uint32_t parent = 0;
    uint32_t dataStart = 0;  // just after '>', or at the '/' of "/>"
  };
  struct FreeDeleter {
    void operator()(void* p) const;
  };
  bool Parse();  // xml_parse.cpp
  bool TakeText(std::unique_ptr<wchar_t[]> text);
  bool FailLoad(const wchar_t* message);
  void SetError(const wchar_t* message, const wchar_t* location);
  uint32_t ReserveElement();  // 0 when the table cannot grow

  std::unique_ptr<wchar_t[]> text_;
  std::unique_ptr<ElementRecord, FreeDeleter> elements_;  // index 0 is reserved
  uint32_t elementCount_ = 0;
  uint32_t capacity_ = 0;
  wchar_t errorMessage_[100] = {};
  wchar_t errorLocation_[50] = {};
};

}  // namespace SkinUI
