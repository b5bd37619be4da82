#pragma once
// An archive held in memory, seen by the 7z decoder as a seekable input
// stream. The stream keeps its own copy of the bytes, so the caller's buffer
// may go away while decoding runs.
#include <7zTypes.h>

#include <cstddef>
#include <cstdint>
#include <memory>

namespace SkinUI {

struct MemoryInStream {
  ISeekInStream vt{};  // first, so the decoder's callbacks find the struct
  std::unique_ptr<unsigned char[]> bytes;
  uint32_t size = 0;
  uint32_t position = 0;
};

// Copies `size` bytes and wires up the read and seek operations; false when
// the copy cannot be made.
bool InitMemoryInStream(MemoryInStream& stream, const void* bytes, size_t size);

}  // namespace SkinUI
