#pragma once
// Keeps a second installer from running: a named mutex in the user's session,
// "D1A547DB89C0BC61_" + base name, held for the whole run.
#include <string>

#include "utils/handle.h"

class SingleInstanceGuard {
 public:
  explicit SingleInstanceGuard(std::wstring baseName) : name_(std::move(baseName)) {}
  ~SingleInstanceGuard() { Release(); }

  // True when this process now holds the mutex (also when it already did).
  bool Acquire();
  void Release();
  bool Held() const { return mutex_.Valid(); }
  std::wstring MutexName() const;

 private:
  std::wstring name_;
  Utils::UniqueHandle mutex_;
};

inline constexpr wchar_t kInstallerGuardName[] = L"Installer_parlomind";
