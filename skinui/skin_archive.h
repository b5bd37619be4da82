#pragma once
// The skin archive: a 7z archive decoded whole, at once, into a table of its
// files. Every skin file and image is then found by its relative path.
//
//   std::unique_ptr<SkinArchive> archive = SkinArchiveOpenMemory(bytes, size);
//   uint32_t index; uint64_t size;
//   if (SkinArchiveFind(archive.get(), L"res\\mainWnd\\logo.png", &index, &size)) {
//     std::vector<unsigned char> data(size);
//     SkinArchiveExtract(archive.get(), index, data.data(), data.size());
//   }
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace SkinUI {

struct SkinArchiveEntry {
  std::wstring name;             // as stored: folders joined by '/'
  uint32_t nameLength = 0;       // UTF-16 units of the name with its terminator
  uint32_t index = 0;            // the file's index in the archive
  std::vector<unsigned char> bytes;  // decoded contents; empty for an empty file
  uint64_t size = 0;             // the size the archive records for the file
};

// Files in archive order; folders get no entry. A file that failed to decode
// and every file after it are missing.
struct SkinArchive {
  std::vector<SkinArchiveEntry> entries;
};

// None when the bytes are not a readable 7z archive.
std::unique_ptr<SkinArchive> SkinArchiveOpenMemory(const void* bytes, size_t size);
// The path is opened through the active ANSI code page. None when the file
// cannot be opened or is not a readable 7z archive.
std::unique_ptr<SkinArchive> SkinArchiveOpenFile(const std::wstring& path);

// Backslashes in `name` count as slashes; names compare without regard to case
// (the user's locale), whole names only: folders and prefixes are not found.
bool SkinArchiveFind(const SkinArchive* archive, const wchar_t* name, uint32_t* index, uint64_t* size);
// Copies the entry's bytes (its size as found by SkinArchiveFind) into
// `destination`; fails when no entry has that index, the archive is missing,
// or `capacity` is smaller than the entry.
bool SkinArchiveExtract(const SkinArchive* archive, uint32_t index, void* destination, size_t capacity);
// Frees the archive and everything it owns; false when there is none.
bool SkinArchiveClose(std::unique_ptr<SkinArchive>& archive);

}  // namespace SkinUI
