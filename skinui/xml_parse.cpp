// CXmlMarkup::Parse: one pass over the text, in place. Terminators and decoded
// entities are written into the text behind the cursor; elements go into the
// table. Nesting is followed with an explicit stack rather than recursion, so
// a deeply nested file cannot exhaust the thread's stack.
#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <new>
#include <vector>

#include "skinui/xml_markup.h"

namespace SkinUI {
namespace {

inline wchar_t* Next(wchar_t* p) { return CharNextW(p); }

inline bool IsWhitespace(wchar_t c) { return c >= 1 && c <= 32; }
inline bool IsIdentifier(wchar_t c) { return iswalnum(c) || c == L'_' || c == L':'; }

wchar_t* SkipWhitespace(wchar_t* p) {
  while (IsWhitespace(*p)) p = Next(p);
  return p;
}
wchar_t* SkipIdentifier(wchar_t* p) {
  while (*p && IsIdentifier(*p)) p = Next(p);
  return p;
}

// Copies character data from `source` up to NUL or `end` onto itself,
// decoding the five entities, and returns where the decoded text ends. The
// positions between that end (exclusive of its terminator slot) and the
// source are blanked, so a shortened value still reads as whitespace.
wchar_t* ParseData(wchar_t*& source, wchar_t end) {
  struct Entity {
    const wchar_t* text;
    size_t length;
    wchar_t value;
  };
  static const Entity kEntities[] = {
      {L"amp;", 4, L'&'}, {L"lt;", 3, L'<'}, {L"gt;", 3, L'>'}, {L"quot;", 5, L'"'}, {L"apos;", 5, L'\''}};
  wchar_t* destination = source;
  while (*source && *source != end) {
    if (*source == L'&') {
      source = Next(source);
      wchar_t decoded = L'&';
      for (const Entity& entity : kEntities) {
        if (wcsncmp(source, entity.text, entity.length) == 0) {
          decoded = entity.value;
          source += entity.length;
          break;
        }
      }
      *destination++ = decoded;
    } else {
      wchar_t* next = Next(source);
      while (source < next) *destination++ = *source++;
    }
  }
  for (wchar_t* p = destination + 1; p < source; ++p) *p = L' ';
  return destination;
}

inline bool At(const wchar_t* p, wchar_t a, wchar_t b) { return p[0] == a && p[0] && p[1] == b; }

struct Failure {
  const wchar_t* message = nullptr;
  const wchar_t* location = nullptr;
};

// The attributes of a start tag; `c` is on the character after the element
// name and ends on the NUL, '>' or '/' that follows the last attribute.
bool ParseAttributes(wchar_t*& c, Failure& failure) {
  if (*c == L'>' || At(c, L'/', L'>')) return true;
  wchar_t* next = Next(c);
  *c = 0;  // the blank between name and attributes terminates the name
  c = SkipWhitespace(next);
  while (*c && *c != L'>' && *c != L'/') {
    c = SkipIdentifier(c);
    wchar_t* nameEnd = c;
    c = SkipWhitespace(c);
    if (*c != L'=') {
      failure = {L"Error while parsing attributes", c};
      return false;
    }
    *c = L' ';
    c = Next(c);
    *nameEnd = 0;
    c = SkipWhitespace(c);
    const bool quoted = *c == L'"';
    c = Next(c);
    if (!quoted) {
      failure = {L"Expected attribute value", c};
      return false;
    }
    wchar_t* valueEnd = ParseData(c, L'"');
    if (*c == 0) {
      failure = {L"Error while parsing attribute string", c};
      return false;
    }
    wchar_t* after = Next(c);
    const bool shrank = valueEnd != c;
    *valueEnd = 0;
    if (shrank) *c = L' ';
    c = SkipWhitespace(after);
  }
  return true;
}

}  // namespace

bool CXmlMarkup::Parse() {
  wchar_t* const text = text_.get();
  auto indexOf = [text](const wchar_t* p) { return static_cast<uint32_t>(p - text); };
  auto fail = [this](const wchar_t* message, const wchar_t* location) {
    SetError(message, location);
    return false;
  };

  // An element whose children are being parsed, with the sequence it is in.
  struct Open {
    uint32_t parent = 0;    // the sequence's parent
    uint32_t previous = 0;  // the sequence's last element (this one)
    uint32_t element = 0;
    wchar_t* nameEnd = nullptr;
    wchar_t* dataEnd = nullptr;
  };
  std::vector<Open> open;

  ReserveElement();  // index 0: reserved, never read
  if (elementCount_ != 1) return fail(L"Out of memory", nullptr);
  SetError(L"", nullptr);

  wchar_t* c = text;
  uint32_t parent = 0, previous = 0;
  uint32_t element = 0;
  wchar_t* nameEnd = nullptr;
  wchar_t* dataEnd = nullptr;

  for (;;) {
    // One element, or the end of the current sequence.
    bool sequenceEnds = false;
    bool childrenDone = false;
    c = SkipWhitespace(c);
    if (*c == 0 && parent <= 1) {
      sequenceEnds = true;  // the first two levels need no end tags
    } else {
      c = SkipWhitespace(c);
      if (*c != L'<') return fail(L"Expected start tag", c);
      wchar_t* next = Next(c);
      if (*next == L'/') {
        sequenceEnds = true;  // an end tag: the caller's business; stay on '<'
      } else {
        *c = 0;  // ends the preceding character data
        c = SkipWhitespace(next);
        if (*c == L'!' || *c == L'?') {
          const wchar_t close = *c == L'!' ? L'-' : L'?';
          c = Next(c);
          while (*c && !At(c, close, L'>')) c = Next(c);
          if (*c) c = Next(Next(c));
          c = SkipWhitespace(c);
          continue;
        }
        c = SkipWhitespace(c);
        element = ReserveElement();
        if (element == 0) return fail(L"Out of memory", c);
        ElementRecord* table = elements_.get();
        table[element].nameStart = indexOf(c);
        table[element].parent = parent;
        if (previous) {
          table[previous].nextSibling = element;
        } else if (parent) {
          table[parent].firstChild = element;
        }
        previous = element;

        c = SkipIdentifier(c);
        nameEnd = c;
        if (*c == 0) return fail(L"Error parsing element name", c);
        Failure failure;
        if (!ParseAttributes(c, failure)) return fail(failure.message, failure.location);
        c = SkipWhitespace(c);
        if (At(c, L'/', L'>')) {
          wchar_t* after = Next(Next(c));
          table[element].dataStart = indexOf(c);
          *c = 0;
          c = after;
        } else {
          if (*c != L'>') return fail(L"Expected start-tag closing", c);
          c = Next(c);
          table[element].dataStart = indexOf(c);
          dataEnd = ParseData(c, L'<');
          if (*c == 0 && parent <= 1) {
            *nameEnd = 0;  // the name is terminated on this path too
            sequenceEnds = true;
          } else {
            if (*c != L'<') return fail(L"Expected end-tag start", c);
            if (Next(c)[0] != L'/') {
              // Children: remember this element and start its sequence.
              open.push_back(Open{parent, previous, element, nameEnd, dataEnd});
              parent = element;
              previous = 0;
              continue;
            }
            childrenDone = true;  // no children, the end tag follows at once
          }
        }
        if (!sequenceEnds && !childrenDone) {
          *nameEnd = 0;
          c = SkipWhitespace(c);
          continue;
        }
      }
    }

    if (sequenceEnds) {
      if (open.empty()) return true;
      const Open& o = open.back();
      parent = o.parent;
      previous = o.previous;
      element = o.element;
      nameEnd = o.nameEnd;
      dataEnd = o.dataEnd;
      open.pop_back();
    }

    // The element's children (if any) are done: its end tag, unless the text
    // ended first.
    if (At(c, L'<', L'/')) {
      wchar_t* after = Next(Next(c));
      *dataEnd = 0;
      *c = 0;
      c = SkipWhitespace(after);
      const wchar_t* name = text + elements_.get()[element].nameStart;
      const size_t length = static_cast<size_t>(nameEnd - name);
      if (wcsncmp(c, name, length) != 0) return fail(L"Unmatched closing tag", c);
      c = SkipWhitespace(c + length);
      if (*c != L'>') return fail(L"Unmatched closing tag", c);
      c = Next(c);
    }
    *nameEnd = 0;
    c = SkipWhitespace(c);
  }
}

}  // namespace SkinUI
