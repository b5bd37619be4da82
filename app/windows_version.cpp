#include "app/windows_version.h"

#include <windows.h>

NtVersion QueryNtVersion() {
  NtVersion v;
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");  // always mapped: no reference to free
  if (!ntdll) return v;
  using Fn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
  auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetNtVersionNumbers")));
  if (!fn) return v;
  DWORD major = 0, minor = 0, build = 0;
  fn(&major, &minor, &build);
  v.major = major;
  v.minor = minor;
  v.build = build & 0x0FFFFFFF;  // the top bits flag free/checked builds
  v.known = true;
  return v;
}

bool IsXpClass(const NtVersion& v) {
  if (!v.known) return true;
  if (v.major <= 4) return true;
  if (v.major == 5) return v.minor == 1 || v.minor >= 3;
  return false;
}

const wchar_t* RouteWord(const NtVersion& v) {
  return IsXpClass(v) ? L"download_silent_xp" : L"download_silent";
}
