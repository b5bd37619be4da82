// CXmlMarkup: owning the text and the element table, decoding the input.
#include "skinui/xml_markup.h"

#include <windows.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "skinui/skin_file.h"

namespace SkinUI {
namespace {

void CopyTruncated(wchar_t* destination, size_t capacity, const wchar_t* source) {
  size_t i = 0;
  if (source) {
    for (; i + 1 < capacity && source[i]; ++i) destination[i] = source[i];
  }
  destination[i] = 0;
}

std::unique_ptr<wchar_t[]> NewText(size_t units) {
  std::unique_ptr<wchar_t[]> text(new (std::nothrow) wchar_t[units + 1]);
  if (text) text[units] = 0;
  return text;
}

const wchar_t* FileMessage(SkinFileStatus status) {
  switch (status) {
    case SkinFileStatus::OpenFailed: return L"Error opening file";
    case SkinFileStatus::Empty: return L"File is empty";
    case SkinFileStatus::TooLarge: return L"File too large";
    case SkinFileStatus::ReadFailed: return L"Could not read file";
    case SkinFileStatus::NoArchive: return L"Error opening zip file";
    case SkinFileStatus::NotFound: return L"Could not find ziped file";
    case SkinFileStatus::ExtractFailed: return L"Could not unzip file";
    case SkinFileStatus::Ok: break;
  }
  return nullptr;
}

}  // namespace

void CXmlMarkup::FreeDeleter::operator()(void* p) const { std::free(p); }

void CXmlMarkup::Release() {
  text_.reset();
  elements_.reset();
  elementCount_ = 0;
  capacity_ = 0;
}

void CXmlMarkup::SetError(const wchar_t* message, const wchar_t* location) {
  CopyTruncated(errorMessage_, sizeof errorMessage_ / sizeof *errorMessage_, message);
  CopyTruncated(errorLocation_, sizeof errorLocation_ / sizeof *errorLocation_, location);
}

bool CXmlMarkup::FailLoad(const wchar_t* message) {
  Release();
  SetError(message, nullptr);
  return false;
}

uint32_t CXmlMarkup::ReserveElement() {
  if (elementCount_ == 0) capacity_ = 0;
  if (elementCount_ == capacity_) {
    // Large steps: one reallocation serves hundreds of elements.
    const uint64_t grown = static_cast<uint64_t>(capacity_) + capacity_ / 2 + 500;
    if (grown > UINT32_MAX / sizeof(ElementRecord)) return 0;
    void* table = std::realloc(elements_.get(), static_cast<size_t>(grown) * sizeof(ElementRecord));
    if (!table) return 0;
    elements_.release();
    elements_.reset(static_cast<ElementRecord*>(table));
    capacity_ = static_cast<uint32_t>(grown);
  }
  const uint32_t index = elementCount_++;
  elements_.get()[index] = ElementRecord{};
  return index;
}

bool CXmlMarkup::TakeText(std::unique_ptr<wchar_t[]> text) {
  if (!text) return FailLoad(L"Out of memory");
  text_ = std::move(text);
  bool parsed = false;
  try {
    parsed = Parse();
  } catch (const std::bad_alloc&) {  // the stack of open elements could not grow
    SetError(L"Out of memory", nullptr);
  }
  if (!parsed) Release();
  return parsed;
}

bool CXmlMarkup::Load(const wchar_t* xml) {
  Release();
  if (!xml) return FailLoad(L"No input");
  const size_t length = wcslen(xml);
  std::unique_ptr<wchar_t[]> text = NewText(length);
  if (text) std::memcpy(text.get(), xml, length * sizeof(wchar_t));
  return TakeText(std::move(text));
}

bool CXmlMarkup::LoadFromMemory(const void* bytes, size_t size, int encoding) {
  Release();
  if (size && !bytes) return FailLoad(L"No input");
  const unsigned char* input = static_cast<const unsigned char*>(bytes);

  if (encoding == kXmlEncodingUtf16) {
    const bool little = size >= 2 && input[0] == 0xFF && input[1] == 0xFE;
    const bool big = size >= 2 && input[0] == 0xFE && input[1] == 0xFF;
    if (!little && !big) return FailLoad(L"Expected byte-order mark");
    const size_t units = size / 2 - 1;  // an odd last byte is dropped
    std::unique_ptr<wchar_t[]> text = NewText(units);
    if (!text) return FailLoad(L"Out of memory");
    // The caller's bytes stay as they are: big-endian units are swapped on
    // the way into our own buffer.
    const unsigned char* unit = input + 2;
    for (size_t i = 0; i < units; ++i, unit += 2) {
      text[i] = little ? static_cast<wchar_t>(unit[0] | unit[1] << 8) : static_cast<wchar_t>(unit[0] << 8 | unit[1]);
    }
    return TakeText(std::move(text));
  }

  unsigned codePage = CP_UTF8;
  if (encoding == kXmlEncodingUtf8) {
    if (size >= 3 && input[0] == 0xEF && input[1] == 0xBB && input[2] == 0xBF) {
      input += 3;
      size -= 3;
    }
  } else if (encoding == kXmlEncodingAnsi) {
    codePage = CP_ACP;
  } else {
    return FailLoad(L"Unknown encoding");
  }
  if (size > INT_MAX) return FailLoad(L"Input too large");
  const char* narrow = reinterpret_cast<const char*>(input);
  const int units = size ? MultiByteToWideChar(codePage, 0, narrow, static_cast<int>(size), nullptr, 0) : 0;
  std::unique_ptr<wchar_t[]> text = NewText(units > 0 ? units : 0);
  if (!text) return FailLoad(L"Out of memory");
  if (units > 0) MultiByteToWideChar(codePage, 0, narrow, static_cast<int>(size), text.get(), units);
  return TakeText(std::move(text));
}

bool CXmlMarkup::LoadFromFile(const wchar_t* name, int encoding) {
  Release();
  std::vector<unsigned char> bytes;
  const SkinFileStatus status = ReadSkinFile(name, kMaxFileBytes, bytes);
  if (status != SkinFileStatus::Ok) return FailLoad(FileMessage(status));
  return LoadFromMemory(bytes.data(), bytes.size(), encoding);
}

CXmlElement CXmlMarkup::GetRoot() const {
  return elementCount_ > 1 ? CXmlElement(this, 1) : CXmlElement();
}

}  // namespace SkinUI
