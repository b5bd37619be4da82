#pragma once
// Questions the installer asks the system about its surroundings. Each answers
// false, 0 or empty when the system cannot tell; failures are logged.
#include <windows.h>

#include <string>

namespace Utils {

// Process id of a running process whose executable file name is exactly
// `exeName` (case-sensitive, no folder, e.g. "parlomind.exe"), or 0.
DWORD FindRunningProcess(const std::wstring& exeName);

// Whether the calling thread's (or else the process's) token is a member of
// the built-in Administrators group, that is runs with administrator rights.
bool IsAdministratorsMember();

// The user name of the active console session; false (and `userName`
// untouched) when it cannot be read.
bool GetConsoleUserName(std::wstring& userName);

// Whether the local account `userName` has administrator privilege; false
// for an empty or unknown name (a domain account without a local twin).
bool IsUserAccountAdmin(const std::wstring& userName);

// A new GUID as 32 hexadecimal digits, no braces or hyphens: upper case
// except the third group (characters 13 to 16), which is lower case.
std::wstring NewGuidText();

}  // namespace Utils
