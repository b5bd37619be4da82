#pragma once
// Bytes placed so that they end exactly where an inaccessible page begins: a
// read one byte past the end faults at once instead of going unnoticed.
#include <cstddef>
#include <string>

namespace SkinTest {

class GuardedBuffer {
 public:
  explicit GuardedBuffer(const std::string& bytes);
  ~GuardedBuffer();
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  const unsigned char* data() const { return data_; }
  unsigned char* data() { return data_; }
  size_t size() const { return size_; }

 private:
  void* base_ = nullptr;
  unsigned char* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace SkinTest
