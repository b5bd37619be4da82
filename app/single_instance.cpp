#include "app/single_instance.h"

#include <windows.h>

std::wstring SingleInstanceGuard::MutexName() const { return L"D1A547DB89C0BC61_" + name_; }

bool SingleInstanceGuard::Acquire() {
  if (mutex_) return true;
  Utils::UniqueHandle m(CreateMutexW(nullptr, TRUE, MutexName().c_str()));
  if (!m || GetLastError() == ERROR_ALREADY_EXISTS) return false;  // the handle closes here
  mutex_ = std::move(m);
  return true;
}

void SingleInstanceGuard::Release() {
  if (!mutex_) return;
  ReleaseMutex(mutex_.Get());
  mutex_.Reset();
}
