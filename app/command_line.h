#pragma once
// The process command line as an ordered set of options.
//
// "-name=value" gives name "-name" and everything after the first "=" as its
// value (a URL keeps its query intact); any other argument is a name with an
// empty value. The first occurrence of a name wins; names are case-sensitive.
#include <string>
#include <utility>
#include <vector>

class CommandLineOptions {
 public:
  CommandLineOptions() = default;
  // Splits with CommandLineToArgvW; the program path is an ordinary argument.
  static CommandLineOptions Parse(const std::wstring& commandLine);
  static CommandLineOptions FromProcess();

  bool Has(const std::wstring& name) const;
  std::wstring GetOptionString(const std::wstring& name) const;
  // Leading base-10 digits with an optional sign; 0 when absent or not a number.
  int GetOptionInt(const std::wstring& name) const;
  bool GetOptionBool(const std::wstring& name) const;  // exactly "true"
  double GetOptionDouble(const std::wstring& name, double fallback) const;

  const std::vector<std::pair<std::wstring, std::wstring>>& Entries() const { return entries_; }

 private:
  const std::wstring* Find(const std::wstring& name) const;
  std::vector<std::pair<std::wstring, std::wstring>> entries_;
};

// Number readers shared by the command line and the settings file.
enum class NumberParse { Ok, NotNumber, OutOfRange };
// Leading integer (optional blanks and sign, then digits; the rest ignored).
NumberParse ParseLeadingInt(const std::wstring& text, int* out);
// Leading decimal number; "inf", "nan" and overflow count as out of range.
NumberParse ParseLeadingDouble(const std::wstring& text, double* out);
