#include "app/install_location.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "utils/handle.h"
#include "utils/probes.h"

namespace {
constexpr DWORD kPathChars = MAX_PATH;

std::wstring EnvironmentValue(const wchar_t* name) {
  wchar_t buffer[kPathChars] = {};
  const DWORD n = GetEnvironmentVariableW(name, buffer, kPathChars);
  if (n == 0 || n >= kPathChars) return {};
  return buffer;
}

std::wstring SpecialFolder(int csidl) {
  wchar_t buffer[kPathChars] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
  return buffer;
}
}  // namespace

AccountProbes AccountProbes::System() {
  AccountProbes p;
  p.consoleUserName = [](std::wstring* user) { return Utils::GetConsoleUserName(*user); };
  p.isUserAccountAdmin = [](const std::wstring& user) { return Utils::IsUserAccountAdmin(user); };
  p.isAdministratorsMember = [] { return Utils::IsAdministratorsMember(); };
  return p;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  std::wstring out = folder;
  if (!out.empty() && out.back() != L'\\' && out.back() != L'/') out += L'\\';
  out += name;
  return out.size() < kPathChars ? out : std::wstring();
}

bool FileExists(const std::wstring& path) { return !path.empty() && PathFileExistsW(path.c_str()); }

namespace {
// "D:\Apps\" and "D:\Apps" are one folder, but the relative path between them
// comes out as ".\" or "" rather than "."; a drive root keeps its backslash.
std::wstring WithoutTrailingSeparators(std::wstring path) {
  while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  return path;
}
}  // namespace

bool IsSameFolder(const std::wstring& fromFolder, const std::wstring& toFolder) {
  const std::wstring from = WithoutTrailingSeparators(fromFolder), to = WithoutTrailingSeparators(toFolder);
  if (from.empty() || to.empty() || from.size() >= kPathChars || to.size() >= kPathChars) return false;
  wchar_t relative[kPathChars] = {};
  if (!PathRelativePathToW(relative, from.c_str(), FILE_ATTRIBUTE_DIRECTORY, to.c_str(), FILE_ATTRIBUTE_DIRECTORY))
    return false;
  return wcscmp(relative, L".") == 0;
}

std::wstring ProductDataDir() {
  std::wstring base = EnvironmentValue(L"APPDATA");
  if (base.empty()) base = SpecialFolder(CSIDL_COMMON_DOCUMENTS);
  return JoinPath(JoinPath(base, L"KorVaneData"), kProductName);
}

bool InstallLocation::ReadRegistryString(const wchar_t* valueName, std::wstring* out) const {
  HKEY raw = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kProductRegistryKey, 0, KEY_READ, &raw) != ERROR_SUCCESS) return false;
  Utils::UniqueRegKey key(raw);
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key.Get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return false;
  // Room for a terminator the stored data may lack; zero-filled.
  std::wstring buffer(size / sizeof(wchar_t) + 2, L'\0');
  DWORD got = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  if (RegQueryValueExW(key.Get(), valueName, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &got) !=
      ERROR_SUCCESS)
    return false;
  buffer.resize(wcslen(buffer.c_str()));
  *out = buffer;
  return true;
}

bool InstallLocation::WriteRegistryString(const wchar_t* valueName, const std::wstring& text) const {
  HKEY raw = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kProductRegistryKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                      nullptr, &raw, nullptr) != ERROR_SUCCESS)
    return false;
  Utils::UniqueRegKey key(raw);
  const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));  // terminator included
  return RegSetValueExW(key.Get(), valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes) ==
         ERROR_SUCCESS;
}

void InstallLocation::LoadInstallRecord() {
  registeredInstallPath.clear();
  registeredUninstaller.clear();
  ReadRegistryString(L"InstallPath", &registeredInstallPath);
  ReadRegistryString(L"UnInstallEp", &registeredUninstaller);
  if (registeredUninstaller.empty() && !registeredInstallPath.empty())
    registeredUninstaller = registeredInstallPath + L"\\uninst.ep";
}

std::wstring InstallLocation::ResolveDefaultInstallDir() {
  std::wstring user;
  consoleUserIsAdmin = probes_.consoleUserName && probes_.consoleUserName(&user) && probes_.isUserAccountAdmin &&
                       probes_.isUserAccountAdmin(user);
  processIsAdmin = probes_.isAdministratorsMember && probes_.isAdministratorsMember();

  if (!registeredInstallPath.empty() && FileExists(registeredUninstaller)) return registeredInstallPath;

  std::wstring base;
  const std::wstring appData = consoleUserIsAdmin && processIsAdmin ? EnvironmentValue(L"APPDATA") : L"";
  if (!appData.empty()) {
    base = JoinPath(appData, L"korvane");
  } else {
    base = SpecialFolder(CSIDL_PROGRAM_FILESX86);
    if (base.empty()) base = SpecialFolder(CSIDL_PROGRAM_FILES);
    // Without any program files folder, stay on the system drive rather than
    // installing into whatever the current folder happens to be.
    if (base.empty()) base = EnvironmentValue(L"SystemDrive");
  }
  return JoinPath(base, kProductName);
}

bool InstallLocation::IsDefaultInstallDir(const std::wstring& folder) {
  return IsSameFolder(ResolveDefaultInstallDir(), folder);
}

std::wstring InstallLocation::ChosenInstallDir(const std::wstring& folderText) {
  const std::wstring result = ResolveDefaultInstallDir();
  if (IsSameFolder(result, folderText)) return result;
  std::wstring folder = folderText;
  for (wchar_t& c : folder)
    if (c == L'/') c = L'\\';
  return JoinPath(folder, kProductName);
}

bool InstallLocation::IsOverrideDisabled(const std::wstring& target) const {
  if (!IsSameFolder(registeredInstallPath, target)) return false;
  wchar_t value[20] = {};
  GetPrivateProfileStringW(L"Uninstall", L"IsOverride", L"true", value, 20, JoinPath(target, L"set.ini").c_str());
  return wcscmp(value, L"false") == 0;
}

void InstallLocation::SaveInstallRecord() {
  WriteRegistryString(L"InstallPath", installPath);
  if (uninstallerPath.empty()) uninstallerPath = installPath + L"\\uninst.ep";
  if (FileExists(uninstallerPath)) WriteRegistryString(L"UnInstallEp", uninstallerPath);
}

void InstallLocation::OpenProduct(HWND window) {
  if (pageUrl.size() > 5) ShellExecuteW(nullptr, L"open", pageUrl.c_str(), nullptr, nullptr, SW_SHOWMAXIMIZED);
  if (FileExists(productExePath)) {
    PumpMessagesBriefly(window);
    ShellExecuteW(nullptr, L"open", productExePath.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  }
}

void PumpMessagesBriefly(HWND window) {
  const DWORD start = GetTickCount();
  MSG msg;
  while (!window || IsWindow(window)) {
    // Waiting for a message with nothing queued would block past the 100 ms.
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (GetTickCount() - start > 100) break;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      continue;
    }
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    if (GetTickCount() - start > 100) break;
  }
}
