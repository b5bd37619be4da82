#include "tests/skinui/guarded_buffer.h"

#include <windows.h>

#include <cstring>
#include <stdexcept>

namespace SkinTest {

GuardedBuffer::GuardedBuffer(const std::string& bytes) : size_(bytes.size()) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const size_t page = info.dwPageSize;
  const size_t dataPages = (size_ + page - 1) / page;
  base_ = VirtualAlloc(nullptr, (dataPages + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (!base_) throw std::runtime_error("VirtualAlloc failed");
  unsigned char* guard = static_cast<unsigned char*>(base_) + dataPages * page;
  DWORD old = 0;
  VirtualProtect(guard, page, PAGE_NOACCESS, &old);
  data_ = guard - size_;
  if (size_) std::memcpy(data_, bytes.data(), size_);
}

GuardedBuffer::~GuardedBuffer() {
  if (base_) VirtualFree(base_, 0, MEM_RELEASE);
}

}  // namespace SkinTest
