#pragma once
// The grammar shared by the two readers of child output (the package's and
// the old uninstaller's): a chunk is split into lines, a line belongs to the
// key it begins with (case-sensitive, equals sign included), and a value is
// read in one of four forms.
#include <string>
#include <vector>

namespace ConsoleProtocol {

// Run result of one parsed chunk: no final state, "Success", or a failure.
enum RunResult : int { kNoFinalState = 0, kSucceeded = 1, kFailed = 1000 };

// Text values longer than this are cut to it.
constexpr size_t kMaxTextLength = 771;

// The lines of `chunk`: split at each line feed (which is not part of the
// line; a carriage return before it is), plus the piece after the last line
// feed when it is not empty.
std::vector<std::wstring> SplitLines(const std::wstring& chunk);

// True when `line` begins with `key`; `rest` then holds what follows it.
bool MatchKey(const std::wstring& line, const wchar_t* key, std::wstring* rest);

// "%lf" reading of the text after the key; 0.0 when it cannot be read.
double ReadReal(const std::wstring& rest);
// "%d" reading; 0 when it cannot be read.
int ReadInteger(const std::wstring& rest);
// The rest of the line (carriage return included), at most kMaxTextLength
// characters.
std::wstring ReadText(const std::wstring& rest);
// The text value without leading and trailing white space.
std::wstring ReadWord(const std::wstring& rest);

// How an integer travels in a report's value: its unsigned 32-bit reading
// (-1 becomes 4294967295.0).
double UnsignedValue(int value);

// The code page a package announces with "Encode=": "UTF8" 65001, "ACP" 0,
// otherwise a leading decimal integer (white space and sign allowed, the rest
// ignored). A word without a number, a number out of range, or a code page
// this system cannot decode gives 0 (the active code page): an unknown code
// page would turn every later line, final state included, into empty text.
int PackageCodePage(const std::wstring& word);
// The uninstaller knows only "UTF8" (65001); any other word gives 0.
int UninstallerCodePage(const std::wstring& word);

}  // namespace ConsoleProtocol
