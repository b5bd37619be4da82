#include "utils/disk.h"

#include <windows.h>
#include <shlwapi.h>

#include "app/log.h"

namespace Utils {

const wchar_t kInstallerTempFolderName[] = L"~KorVaneTemp.92482B06FB471E17\\";

namespace {
constexpr size_t kPathCapacity = MAX_PATH;  // 260 characters including the terminator
constexpr size_t kMaxTreePath = 260;

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// A file of the folder's name does not count as the folder: the caller is
// told it exists only when it can put things into it.
bool EnsureFolder(const std::wstring& path) {
  if (IsFolder(path)) return true;
  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  const DWORD code = GetLastError();
  if (IsFolder(path)) return true;  // made by someone else in between
  WriteLog(L"CreateDirectoryW(%s) FAIL code=%lu\r\n", path.c_str(), code);
  return false;
}
}  // namespace

bool HardDiskManager::CheckFreeSpace(const std::wstring& folder) {
  ULARGE_INTEGER available = {}, total = {}, totalFree = {};
  if (!GetDiskFreeSpaceExW(folder.c_str(), &available, &total, &totalFree)) {
    WriteLog(L"HardDiskManager::CheckFreeSpace FAIL code=%ld\r\n", static_cast<long>(GetLastError()));
    return false;
  }
  freeBytesAvailable = available.QuadPart;
  totalBytes = total.QuadPart;
  totalFreeBytes = totalFree.QuadPart;
  return true;
}

std::wstring GetInstallerTempFolder() {
  wchar_t temp[kPathCapacity] = {};
  const DWORD length = GetTempPathW(kPathCapacity, temp);
  if (length == 0 || length >= kPathCapacity) {
    WriteLog(L"GetTempPathW FAIL code=%lu length=%lu\r\n", GetLastError(), length);
    return {};
  }
  const std::wstring folder = std::wstring(temp) + kInstallerTempFolderName;
  // A cut path would name some other folder; better none at all.
  if (folder.size() >= kPathCapacity) {
    WriteLog(L"working folder path too long: %s\r\n", folder.c_str());
    return {};
  }
  if (PathFileExistsW(folder.c_str())) return folder;
  if (!CreateDirectoryW(folder.c_str(), nullptr)) {
    WriteLog(L"CreateDirectoryW(%s) FAIL code=%lu\r\n", folder.c_str(), GetLastError());
    return {};
  }
  return folder;
}

bool CreateFolderTree(const std::wstring& path) {
  if (path.empty() || path.size() > kMaxTreePath) return false;
  // Every prefix up to and including a backslash, then the whole path when
  // it does not end with one. Existing levels (the drive root) are left alone.
  for (size_t at = path.find(L'\\'); at != std::wstring::npos; at = path.find(L'\\', at + 1)) {
    if (!EnsureFolder(path.substr(0, at + 1))) return false;
  }
  if (path.back() != L'\\' && !EnsureFolder(path)) return false;
  return true;
}

}  // namespace Utils
