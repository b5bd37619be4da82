// CXmlElement: walking the element table and locating attributes on demand.
#include <windows.h>

#include <cwchar>

#include "skinui/xml_markup.h"

namespace SkinUI {
namespace {
inline bool IsWhitespace(wchar_t c) { return c >= 1 && c <= 32; }
}  // namespace

bool CXmlElement::Usable() const {
  // A handle outliving a reload of its document must not index past the table.
  return owner_ && owner_->text_ && element_ > 0 && element_ < owner_->elementCount_;
}

const wchar_t* CXmlElement::GetName() const {
  if (!Usable()) return nullptr;
  return owner_->text_.get() + owner_->elements_.get()[element_].nameStart;
}

CXmlElement CXmlElement::GetFirstChild() const {
  if (!Usable()) return CXmlElement();
  const uint32_t child = owner_->elements_.get()[element_].firstChild;
  return child ? CXmlElement(owner_, child) : CXmlElement();
}

CXmlElement CXmlElement::GetNextSibling() const {
  if (!Usable()) return CXmlElement();
  const uint32_t sibling = owner_->elements_.get()[element_].nextSibling;
  return sibling ? CXmlElement(owner_, sibling) : CXmlElement();
}

bool CXmlElement::HasChildren() const { return Usable() && owner_->elements_.get()[element_].firstChild != 0; }

void CXmlElement::MapAttributes() const {
  if (!Usable()) return;
  const wchar_t* const text = owner_->text_.get();
  const auto& record = owner_->elements_.get()[element_];
  wchar_t* p = const_cast<wchar_t*>(text) + record.nameStart;
  const wchar_t* const end = text + record.dataStart;
  // Every step stays inside the start tag: between the name and the data.
  auto skipToTerminator = [&p, end] {
    while (p < end && *p) p = CharNextW(p);
    if (p < end) ++p;
  };
  auto skipWhitespace = [&p, end] {
    while (p < end && IsWhitespace(*p)) p = CharNextW(p);
  };
  skipToTerminator();  // the element name
  uint32_t count = 0;
  while (p < end && count < kMaxAttributes) {
    skipWhitespace();
    if (p >= end) break;
    const uint32_t nameStart = static_cast<uint32_t>(p - text);
    skipToTerminator();
    skipWhitespace();
    if (p >= end || *p != L'"') break;
    ++p;
    attributes_[count][0] = nameStart;
    attributes_[count][1] = static_cast<uint32_t>(p - text);
    ++count;
    skipToTerminator();  // the value
  }
  attributeCount_ = count;
}

int CXmlElement::GetAttributeCount() const {
  if (!Usable()) return 0;
  if (attributeCount_ == 0) MapAttributes();
  return static_cast<int>(attributeCount_);
}

const wchar_t* CXmlElement::GetAttributeName(int index) const {
  if (!Usable()) return nullptr;
  if (index < 0 || index >= GetAttributeCount()) return L"";
  return owner_->text_.get() + attributes_[index][0];
}

const wchar_t* CXmlElement::GetAttributeValue(int index) const {
  if (!Usable()) return nullptr;
  if (index < 0 || index >= GetAttributeCount()) return L"";
  return owner_->text_.get() + attributes_[index][1];
}

bool CXmlElement::GetAttributeValue(const wchar_t* name, wchar_t* buffer, size_t n) const {
  if (!Usable() || !name) return false;
  const int count = GetAttributeCount();
  const wchar_t* const text = owner_->text_.get();
  for (int i = 0; i < count; ++i) {
    if (wcscmp(text + attributes_[i][0], name) != 0) continue;
    if (buffer && n) wcsncpy(buffer, text + attributes_[i][1], n);
    return true;
  }
  return false;
}

}  // namespace SkinUI
