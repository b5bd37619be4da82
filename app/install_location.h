#pragma once
// Where the product goes and where it went: the earlier installation from the
// registry, the proposed default folder, the folder of a custom install, the
// "IsOverride" switch in set.ini, and the record written after a successful
// install. The main window holds one of these; it needs nothing of the window
// but the folder text and the window handle, so the unattended run and the
// tests use it directly.
#include <windows.h>

#include <functional>
#include <string>

// The account questions the default-folder rule asks. Real system probes by
// default; tests give other answers, since Wine knows no console user.
struct AccountProbes {
  std::function<bool(std::wstring* user)> consoleUserName;
  std::function<bool(const std::wstring& user)> isUserAccountAdmin;
  std::function<bool()> isAdministratorsMember;
  static AccountProbes System();
};

inline constexpr wchar_t kProductRegistryKey[] = L"Software\\KorVaneSoft\\parlomind";  // under HKCU
inline constexpr wchar_t kProductName[] = L"parlomind";

class InstallLocation {
 public:
  explicit InstallLocation(AccountProbes probes = AccountProbes::System()) : probes_(std::move(probes)) {}

  std::wstring registeredInstallPath;  // earlier installation's folder
  std::wstring registeredUninstaller;  // its uninstaller (read or derived)
  std::wstring installPath;            // folder being installed into
  std::wstring uninstallerPath;        // the new installation's uninstaller
  std::wstring productExePath;
  std::wstring pageUrl;                // opened after installing when longer than 5 characters
  bool consoleUserIsAdmin = false;
  bool processIsAdmin = false;

  void LoadInstallRecord();
  // The folder to propose; refreshes the two administrator flags.
  std::wstring ResolveDefaultInstallDir();
  bool IsDefaultInstallDir(const std::wstring& folder);
  // The custom install's folder from the text of the folder box: the default
  // itself stays, anything else gets "\parlomind" appended.
  std::wstring ChosenInstallDir(const std::wstring& folderText);
  // True when the target is the registered folder and its set.ini says
  // IsOverride=false: the old uninstaller must not run.
  bool IsOverrideDisabled(const std::wstring& target) const;
  void SaveInstallRecord();
  void OpenProduct(HWND window);

  bool ReadRegistryString(const wchar_t* valueName, std::wstring* out) const;
  bool WriteRegistryString(const wchar_t* valueName, const std::wstring& text) const;

 private:
  AccountProbes probes_;
};

// %APPDATA% (or the shared documents folder) \KorVaneData\parlomind.
std::wstring ProductDataDir();
// Joins with one backslash unless the folder already ends in "\" or "/";
// empty when the result would exceed 259 characters.
std::wstring JoinPath(const std::wstring& folder, const std::wstring& name);
// True when both name the same folder (as the shell's relative-path rule sees it).
bool IsSameFolder(const std::wstring& from, const std::wstring& to);
bool FileExists(const std::wstring& path);
// Dispatches queued messages for about 100 ms (re-posting WM_QUIT).
void PumpMessagesBriefly(HWND window);
