#pragma once
// The real Windows version (RtlGetNtVersionNumbers ignores compatibility
// shims) and the download route that follows from it.

struct NtVersion {
  unsigned major = 0;
  unsigned minor = 0;
  unsigned build = 0;
  bool known = false;  // false when ntdll or the function could not be found
};

NtVersion QueryNtVersion();

// XP class: unknown, NT 4 and older, 5.1, and 5.3 or later minors of 5.
// 5.0 (2000) and 5.2 (2003, XP x64) are not.
bool IsXpClass(const NtVersion& v);

// "download_silent_xp" for the XP class, "download_silent" otherwise.
const wchar_t* RouteWord(const NtVersion& v);
