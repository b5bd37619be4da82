#include "skinui/skin_archive.h"

#include <windows.h>

#include <7z.h>
#include <7zCrc.h>
#include <7zFile.h>

#include <cstring>
#include <new>

#include "skinui/archive_stream.h"
#include "utils/text.h"

namespace SkinUI {
namespace {

// Both of the decoder's allocators take from the process heap; a request for
// nothing gets nothing.
void* HeapAllocate(ISzAllocPtr, size_t size) { return size ? HeapAlloc(GetProcessHeap(), 0, size) : nullptr; }
void HeapRelease(ISzAllocPtr, void* address) {
  if (address) HeapFree(GetProcessHeap(), 0, address);
}
const ISzAlloc kMainAlloc = {HeapAllocate, HeapRelease};
const ISzAlloc kTempAlloc = {HeapAllocate, HeapRelease};

constexpr size_t kLookBufferSize = 1 << 14;

// The decoder's view of an opened database; frees it on every path.
struct Database {
  CSzArEx db;
  Database() { SzArEx_Init(&db); }
  ~Database() { SzArEx_Free(&db, &kMainAlloc); }
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
};

// The solid block the decoder keeps between extractions.
struct BlockCache {
  Byte* buffer = nullptr;
  size_t size = 0;
  UInt32 blockIndex = 0xFFFFFFFF;
  ~BlockCache() { ISzAlloc_Free(&kMainAlloc, buffer); }
};

struct LookBuffer {
  Byte* data = static_cast<Byte*>(ISzAlloc_Alloc(&kMainAlloc, kLookBufferSize));
  ~LookBuffer() { ISzAlloc_Free(&kMainAlloc, data); }
};

std::unique_ptr<SkinArchive> Decode(ISeekInStreamPtr input) {
  LookBuffer lookBuffer;
  if (!lookBuffer.data) return nullptr;
  CLookToRead2 look;
  LookToRead2_CreateVTable(&look, False);
  look.buf = lookBuffer.data;
  look.bufSize = kLookBufferSize;
  look.realStream = input;
  LookToRead2_INIT(&look);
  CrcGenerateTable();

  Database database;
  if (SzArEx_Open(&database.db, &look.vt, &kMainAlloc, &kTempAlloc) != SZ_OK) return nullptr;

  std::unique_ptr<SkinArchive> archive(new (std::nothrow) SkinArchive);
  if (!archive) return nullptr;
  const CSzArEx& db = database.db;
  BlockCache cache;
  try {
    archive->entries.reserve(db.NumFiles);
    for (UInt32 i = 0; i < db.NumFiles; ++i) {
      if (SzArEx_IsDir(&db, i)) continue;
      SkinArchiveEntry entry;
      const size_t nameLength = SzArEx_GetFileNameUtf16(&db, i, nullptr);
      std::vector<UInt16> name(nameLength ? nameLength : 1, 0);
      if (nameLength) SzArEx_GetFileNameUtf16(&db, i, name.data());
      entry.name.assign(name.begin(), name.end() - 1);
      entry.nameLength = static_cast<uint32_t>(entry.name.size() + 1);
      entry.index = i;

      size_t offset = 0, processed = 0;
      if (SzArEx_Extract(&db, &look.vt, i, &cache.blockIndex, &cache.buffer, &cache.size, &offset, &processed,
                         &kMainAlloc, &kTempAlloc) != SZ_OK) {
        break;  // this file and every later one stay missing; earlier ones are kept
      }
      entry.bytes.assign(cache.buffer + offset, cache.buffer + offset + processed);
      entry.size = SzArEx_GetFileSize(&db, i);
      archive->entries.push_back(std::move(entry));
    }
  } catch (const std::bad_alloc&) {
    // Out of memory part-way: keep what was decoded, as for a failed file.
  }
  return archive;
}

const SkinArchiveEntry* EntryAt(const SkinArchive* archive, uint32_t index) {
  if (!archive) return nullptr;
  for (const SkinArchiveEntry& entry : archive->entries) {
    if (entry.index == index) return &entry;
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<SkinArchive> SkinArchiveOpenMemory(const void* bytes, size_t size) {
  MemoryInStream stream;
  if (!InitMemoryInStream(stream, bytes, size)) return nullptr;
  return Decode(&stream.vt);
}

std::unique_ptr<SkinArchive> SkinArchiveOpenFile(const std::wstring& path) {
  const std::string ansiPath = Utils::ToNarrow(path, Utils::kActiveCodePage);
  if (ansiPath.empty()) return nullptr;
  CFileInStream stream;
  FileInStream_CreateVTable(&stream);
  File_Construct(&stream.file);
  if (InFile_Open(&stream.file, ansiPath.c_str()) != 0) return nullptr;
  std::unique_ptr<SkinArchive> archive = Decode(&stream.vt);
  File_Close(&stream.file);
  return archive;
}

bool SkinArchiveFind(const SkinArchive* archive, const wchar_t* name, uint32_t* index, uint64_t* size) {
  if (!archive || !name) return false;
  std::wstring wanted(name);
  for (wchar_t& c : wanted) {
    if (c == L'\\') c = L'/';
  }
  const size_t wantedLength = wanted.size() + 1;
  for (const SkinArchiveEntry& entry : archive->entries) {
    // The length test first: it settles almost every entry without the
    // comparatively slow locale-aware comparison.
    if (entry.nameLength != wantedLength) continue;
    if (CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, entry.name.c_str(), static_cast<int>(entry.name.size()),
                       wanted.c_str(), static_cast<int>(wanted.size())) != CSTR_EQUAL) {
      continue;
    }
    if (index) *index = entry.index;
    if (size) *size = entry.size;
    return true;
  }
  return false;
}

bool SkinArchiveExtract(const SkinArchive* archive, uint32_t index, void* destination, size_t capacity) {
  const SkinArchiveEntry* entry = EntryAt(archive, index);
  if (!entry) return false;
  const size_t size = static_cast<size_t>(entry->size & 0xFFFFFFFFu);
  // Never hand out fewer bytes than the entry promises, nor write past the
  // caller's buffer.
  if (entry->bytes.size() < size || capacity < size || (size && !destination)) return false;
  if (size) std::memcpy(destination, entry->bytes.data(), size);
  return true;
}

bool SkinArchiveClose(std::unique_ptr<SkinArchive>& archive) {
  if (!archive) return false;
  archive.reset();
  return true;
}

}  // namespace SkinUI
