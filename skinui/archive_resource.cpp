#include "skinui/archive_resource.h"

#include <cstring>
#include <vector>

#include "skinui/ui_manager.h"

namespace SkinUI {
namespace {

// The archive bytes, kept for the rest of the process like the resource they
// were copied from.
std::vector<unsigned char>& ArchiveBytes() {
  static std::vector<unsigned char> bytes;
  return bytes;
}

}  // namespace

bool InstallSkinArchiveResource(HMODULE module, WORD resourceId) {
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(resourceId), L"ZIPRES");
  if (!info) return false;
  HGLOBAL loaded = LoadResource(module, info);
  if (!loaded) return false;
  const DWORD size = SizeofResource(module, info);
  const void* data = LockResource(loaded);
  if (size == 0 || !data) {
    FreeResource(loaded);
    return false;
  }
  // A second window would only make another copy that nobody reads: the
  // archive from memory is decoded once per process.
  if (CUIManager::GetResourceArchiveName() != CUIManager::kMemoryArchiveName) {
    std::vector<unsigned char>& bytes = ArchiveBytes();
    bytes.assign(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size);
    FreeResource(loaded);
    CUIManager::SetResourceArchiveFromMemory(bytes.data(), bytes.size());
    return true;
  }
  FreeResource(loaded);
  return true;
}

}  // namespace SkinUI
