// The resource settings of CUIManager: process-wide, UI thread only.
#include <memory>

#include "skinui/skin_archive.h"
#include "skinui/ui_manager.h"

namespace SkinUI {
namespace {

struct ResourceSettings {
  HINSTANCE instance = nullptr;
  std::wstring resourcePath;
  std::wstring archiveName;  // empty: plain files
  bool archiveCached = true;
  std::unique_ptr<SkinArchive> archive;
  bool archive7z = false;
};

ResourceSettings& Settings() {
  static ResourceSettings settings;
  return settings;
}

void CloseCachedArchive() {
  ResourceSettings& s = Settings();
  if (s.archiveCached && s.archive) SkinArchiveClose(s.archive);
}

}  // namespace

void CUIManager::SetInstance(HINSTANCE instance) { Settings().instance = instance; }
HINSTANCE CUIManager::GetInstance() { return Settings().instance; }
HINSTANCE CUIManager::GetResourceModule() { return Settings().instance; }

std::wstring CUIManager::GetInstancePath() {
  if (!Settings().instance) return std::wstring();
  wchar_t path[MAX_PATH + 1] = {};
  const DWORD length = GetModuleFileNameW(Settings().instance, path, MAX_PATH);
  if (length == 0) return std::wstring();
  std::wstring folder(path, length);
  const size_t slash = folder.rfind(L'\\');
  return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

void CUIManager::SetResourcePath(const wchar_t* path) {
  std::wstring& stored = Settings().resourcePath;
  stored = path ? path : L"";
  if (!stored.empty() && stored.back() != L'\\' && stored.back() != L'/') stored += L'\\';
}
const std::wstring& CUIManager::GetResourcePath() { return Settings().resourcePath; }

void CUIManager::SetResourceArchiveFromMemory(const void* bytes, size_t size) {
  ResourceSettings& s = Settings();
  if (s.archiveName == kMemoryArchiveName) return;
  CloseCachedArchive();
  s.archiveName = kMemoryArchiveName;
  s.archiveCached = true;
  s.archive = SkinArchiveOpenMemory(bytes, size);
}

void CUIManager::SetResourceArchive(const wchar_t* name, bool cached) {
  ResourceSettings& s = Settings();
  const std::wstring wanted = name ? name : L"";
  if (wanted == s.archiveName && cached == s.archiveCached) return;
  CloseCachedArchive();
  s.archive.reset();
  s.archiveName = wanted;
  s.archiveCached = cached;
  if (cached && !wanted.empty()) s.archive = SkinArchiveOpenFile(s.resourcePath + wanted);
}

const std::wstring& CUIManager::GetResourceArchiveName() { return Settings().archiveName; }
bool CUIManager::IsResourceArchiveCached() { return Settings().archiveCached; }
SkinArchive* CUIManager::GetResourceArchive() { return Settings().archive.get(); }

void CUIManager::SetResourceArchive7z(bool is7z) { Settings().archive7z = is7z; }
bool CUIManager::IsResourceArchive7z() { return Settings().archive7z; }

}  // namespace SkinUI
