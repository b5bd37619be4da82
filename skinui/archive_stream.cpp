#include "skinui/archive_stream.h"

#include <cstring>
#include <new>

namespace SkinUI {
namespace {

constexpr SRes kInvalidParameter = 87;  // ERROR_INVALID_PARAMETER, as a file stream reports it

SRes MemoryRead(ISeekInStreamPtr p, void* buffer, size_t* size) {
  auto* stream = Z7_CONTAINER_FROM_VTBL(p, MemoryInStream, vt);
  // A seek may leave the position past the end; nothing is left to read then.
  const uint32_t left = stream->position < stream->size ? stream->size - stream->position : 0;
  const size_t count = *size < left ? *size : left;
  if (count) std::memcpy(buffer, stream->bytes.get() + stream->position, count);
  stream->position += static_cast<uint32_t>(count);
  *size = count;
  return SZ_OK;
}

SRes MemorySeek(ISeekInStreamPtr p, Int64* offset, ESzSeek origin) {
  auto* stream = Z7_CONTAINER_FROM_VTBL(p, MemoryInStream, vt);
  int64_t base = 0;
  switch (origin) {
    case SZ_SEEK_SET: base = 0; break;
    case SZ_SEEK_CUR: base = stream->position; break;
    case SZ_SEEK_END: base = stream->size; break;
    default: return kInvalidParameter;
  }
  // A damaged archive can ask for any offset: a target before the start or
  // beyond what a 32-bit position holds is refused instead of wrapping round
  // into the middle of the data.
  const int64_t target = base + *offset;
  if (*offset > INT64_MAX / 2 || *offset < INT64_MIN / 2 || target < 0 || target > UINT32_MAX) {
    return kInvalidParameter;
  }
  stream->position = static_cast<uint32_t>(target);
  *offset = target;
  return SZ_OK;
}

}  // namespace

bool InitMemoryInStream(MemoryInStream& stream, const void* bytes, size_t size) {
  // In this 32-bit process every size fits the 32-bit position.
  if (size && !bytes) return false;
  stream.bytes.reset(new (std::nothrow) unsigned char[size ? size : 1]);
  if (!stream.bytes) return false;
  if (size) std::memcpy(stream.bytes.get(), bytes, size);
  stream.size = static_cast<uint32_t>(size);
  stream.position = 0;
  stream.vt.Read = MemoryRead;
  stream.vt.Seek = MemorySeek;
  return true;
}

}  // namespace SkinUI
