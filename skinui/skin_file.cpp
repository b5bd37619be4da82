#include "skinui/skin_file.h"

#include <windows.h>

#include <memory>
#include <new>
#include <string>

#include "skinui/skin_archive.h"
#include "skinui/ui_manager.h"
#include "utils/handle.h"

namespace SkinUI {
namespace {

SkinFileStatus ReadPlainFile(const std::wstring& path, uint64_t maxBytes, std::vector<unsigned char>& bytes) {
  Utils::UniqueFile file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return SkinFileStatus::OpenFailed;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.Get(), &size)) return SkinFileStatus::ReadFailed;
  if (size.QuadPart == 0) return SkinFileStatus::Empty;
  // Also what this process could not hold: a size cut to 32 bits would read
  // part of the file and pass it off as the whole.
  if (static_cast<uint64_t>(size.QuadPart) > maxBytes || static_cast<uint64_t>(size.QuadPart) > SIZE_MAX) {
    return SkinFileStatus::TooLarge;
  }
  bytes.resize(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  if (!ReadFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read != bytes.size()) {
    return SkinFileStatus::ReadFailed;
  }
  return SkinFileStatus::Ok;
}

SkinFileStatus ReadArchiveEntry(const SkinArchive* archive, const wchar_t* name, uint64_t maxBytes,
                                std::vector<unsigned char>& bytes) {
  if (!archive) return SkinFileStatus::NoArchive;
  uint32_t index = 0;
  uint64_t size = 0;
  if (!SkinArchiveFind(archive, name, &index, &size)) return SkinFileStatus::NotFound;
  if (size == 0) return SkinFileStatus::Empty;
  if (size > maxBytes || size > SIZE_MAX) return SkinFileStatus::TooLarge;
  bytes.resize(static_cast<size_t>(size));
  if (!SkinArchiveExtract(archive, index, bytes.data(), bytes.size())) return SkinFileStatus::ExtractFailed;
  return SkinFileStatus::Ok;
}

SkinFileStatus Read(const wchar_t* name, uint64_t maxBytes, std::vector<unsigned char>& bytes) {
  const std::wstring relative = name ? name : L"";
  const std::wstring& archiveName = CUIManager::GetResourceArchiveName();
  if (archiveName.empty()) return ReadPlainFile(CUIManager::GetResourcePath() + relative, maxBytes, bytes);
  if (CUIManager::IsResourceArchiveCached()) {
    return ReadArchiveEntry(CUIManager::GetResourceArchive(), relative.c_str(), maxBytes, bytes);
  }
  std::unique_ptr<SkinArchive> archive = SkinArchiveOpenFile(CUIManager::GetResourcePath() + archiveName);
  return ReadArchiveEntry(archive.get(), relative.c_str(), maxBytes, bytes);
}

}  // namespace

SkinFileStatus ReadSkinFile(const wchar_t* name, uint64_t maxBytes, std::vector<unsigned char>& bytes) {
  bytes.clear();
  SkinFileStatus status = SkinFileStatus::ReadFailed;
  try {
    status = Read(name, maxBytes, bytes);
  } catch (const std::bad_alloc&) {
    status = CUIManager::GetResourceArchiveName().empty() ? SkinFileStatus::ReadFailed : SkinFileStatus::ExtractFailed;
  }
  if (status != SkinFileStatus::Ok) {
    bytes.clear();
    bytes.shrink_to_fit();
  }
  return status;
}

}  // namespace SkinUI
