#pragma once
// Owners for kernel handles and other system resources: closed exactly once, on
// every path, by whoever holds them last.
#include <windows.h>

#include <utility>

namespace Utils {

// Generic owner: Traits::Invalid() is the empty value, Traits::Close(h) frees.
template <class Traits>
class UniqueResource {
 public:
  using Type = decltype(Traits::Invalid());

  UniqueResource() = default;
  explicit UniqueResource(Type h) : h_(h) {}
  ~UniqueResource() { Reset(); }
  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;
  UniqueResource(UniqueResource&& o) noexcept : h_(o.Release()) {}
  UniqueResource& operator=(UniqueResource&& o) noexcept {
    if (this != &o) Reset(o.Release());
    return *this;
  }

  Type Get() const { return h_; }
  bool Valid() const { return h_ != Traits::Invalid(); }
  explicit operator bool() const { return Valid(); }
  Type Release() { return std::exchange(h_, Traits::Invalid()); }
  void Reset(Type h = Traits::Invalid()) {
    if (Valid()) Traits::Close(h_);
    h_ = h;
  }
  // For APIs that write a new handle through a pointer.
  Type* Receive() {
    Reset();
    return &h_;
  }

 private:
  Type h_ = Traits::Invalid();
};

struct KernelHandleTraits {  // thread, process, mutex, event, pipe: null when empty
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile, snapshots: INVALID_HANDLE_VALUE when empty
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { ::CloseHandle(h); }
};
struct ModuleTraits {
  static HMODULE Invalid() { return nullptr; }
  static void Close(HMODULE h) { ::FreeLibrary(h); }
};
struct RegKeyTraits {
  static HKEY Invalid() { return nullptr; }
  static void Close(HKEY h) { ::RegCloseKey(h); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;
using UniqueFile = UniqueResource<FileHandleTraits>;
using UniqueModule = UniqueResource<ModuleTraits>;
using UniqueRegKey = UniqueResource<RegKeyTraits>;

}  // namespace Utils
