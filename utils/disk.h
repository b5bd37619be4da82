#pragma once
// Free space of a volume, the installer's working folder, and folder trees.
#include <cstdint>
#include <string>

namespace Utils {

class HardDiskManager {
 public:
  virtual ~HardDiskManager() = default;

  // Fills the three fields for the volume of `folder` (for example "D:");
  // false, with the failure logged and the fields as they were, when the
  // system cannot tell.
  bool CheckFreeSpace(const std::wstring& folder);

  uint64_t freeBytesAvailable = 0;  // free to the calling user
  uint64_t totalBytes = 0;          // volume size available to the calling user
  uint64_t totalFreeBytes = 0;      // all free bytes of the volume
};

// Name of the working folder inside the user's temporary folder.
extern const wchar_t kInstallerTempFolderName[];  // "~KorVaneTemp.92482B06FB471E17\"

// The user's temporary folder followed by kInstallerTempFolderName (ending
// with a backslash), created when missing (only that last level). Empty when
// it can neither be found nor created, or when the path would not fit 259
// characters.
std::wstring GetInstallerTempFolder();

// Creates `path` and every missing folder above it; true when the folder
// exists afterwards. Paths longer than 260 characters and empty paths give
// false; it stops at the first folder it cannot create (the ones made before
// stay).
bool CreateFolderTree(const std::wstring& path);

}  // namespace Utils
