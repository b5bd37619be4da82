#include "install/download_installer.h"

#include <windows.h>
#include <shlwapi.h>

#include "app/log.h"
#include "app/settings.h"
#include "download/downloader.h"
#include "install/installer.h"
#include "install/uninstaller.h"
#include "utils/disk.h"
#include "utils/probes.h"

namespace {
// The package path of the last clean-up: a package left under an earlier
// install folder is deleted at the next one.
std::wstring lastPackagePath;
}  // namespace

CDownloadInstaller::CDownloadInstaller(StageCallback windowCallback, std::wstring packageUrl,
                                       std::wstring oldUninstallerPath, std::wstring installDir, bool desktopShortcut,
                                       bool quickLaunchShortcut, bool consoleUserIsAdmin)
    : packageUrl_(std::move(packageUrl)),
      oldUninstallerPath_(std::move(oldUninstallerPath)),
      installDir_(std::move(installDir)),
      desktopShortcut_(desktopShortcut),
      quickLaunchShortcut_(quickLaunchShortcut),
      consoleUserIsAdmin_(consoleUserIsAdmin),
      windowCallback_(std::move(windowCallback)) {}

CDownloadInstaller::~CDownloadInstaller() {
  uninstaller_.reset();
  downloader_.reset();
  installer_.reset();
}

void CDownloadInstaller::SetParameters(std::wstring packageUrl, std::wstring oldInstallDir,
                                       std::wstring oldUninstallerPath, std::wstring installDir, bool desktopShortcut,
                                       bool quickLaunchShortcut, bool consoleUserIsAdmin, bool processIsAdmin,
                                       std::wstring language) {
  packageUrl_ = std::move(packageUrl);
  oldInstallDir_ = std::move(oldInstallDir);
  oldUninstallerPath_ = std::move(oldUninstallerPath);
  installDir_ = std::move(installDir);
  desktopShortcut_ = desktopShortcut;
  quickLaunchShortcut_ = quickLaunchShortcut;
  consoleUserIsAdmin_ = consoleUserIsAdmin;
  processIsAdmin_ = processIsAdmin;
  language_ = std::move(language);
}

namespace {
// A package reports its final state just before it exits, so right after
// "State=Success" its file is still a running image and cannot be deleted.
// Give it a few seconds to end; a package that lingers longer leaves its file
// to the next clean-up (lastPackagePath).
void DeletePackageFile(const std::wstring& path) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (DeleteFileW(path.c_str())) return;
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return;  // gone already, or for good
    Sleep(100);
  }
  WriteLog(L"package file still in use, left for later: %s\r\n", path.c_str());
}
}  // namespace

void CDownloadInstaller::CleanUpPackage() {
  DeletePackageFile(packagePath_);
  if (!lastPackagePath.empty() && lastPackagePath != packagePath_) DeletePackageFile(lastPackagePath);
  lastPackagePath = packagePath_;
}

void CDownloadInstaller::Start() {
  packagePath_ = installDir_ + L"\\__Package_parlomind.exe";
  WriteLog(L"DL_TYPE=%d\r\n", g_settings.downloadType);

  // Every report goes to the window first, then the stage takes its step.
  StageCallback downloadStage = [this](int32_t code, double value, const wchar_t* text) {
    windowCallback_(code, value, text);
    switch (code) {
      case DL_CODE_START:
        WriteLog(L"DL_CODE_START\r\n");
        Utils::CreateFolderTree(installDir_);
        break;
      case DL_CODE_PROGRESS:
        WriteLog(L"DL_CODE_PROGRESS\r\n");
        break;
      case DL_CODE_SUCCESS:
        WriteLog(L"DOWNLOAD_SUCCESS\r\n");
        installer_->Start();
        WriteLog(L"DL_CODE_SUCCESS\r\n");
        break;
      case DL_CODE_FAIL:
        WriteLog(L"DL_CODE_FAIL\r\n");
        CleanUpPackage();
        break;
      case DL_CODE_RETRY:
        WriteLog(L"DL_CODE_RETRY\r\n");
        downloader_->Start();
        break;
      default:
        break;
    }
  };
  StageCallback uninstallStage = [this](int32_t code, double value, const wchar_t* text) {
    windowCallback_(code, value, text);
    switch (code) {
      case UNIST_CODE_START:
        WriteLog(L"UNIST_CODE_START\r\n");
        break;
      case UNIST_CODE_PROGRESS:
        WriteLog(L"UNIST_CODE_PROGRESS\r\n");
        break;
      case UNIST_CODE_SUCCESS:
        WriteLog(L"UNIST_CODE_SUCCESS\r\n");
        if (installer_) downloader_->Start();
        break;
      case UNIST_CODE_FAIL:  // the chain stops here
        WriteLog(L"UNIST_CODE_FAIL\r\n");
        break;
      case UNIST_CODE_ERROR:
        WriteLog(L"UNIST_CODE_ERROR\r\n");
        break;
      default:
        break;
    }
  };
  StageCallback installStage = [this](int32_t code, double value, const wchar_t* text) {
    windowCallback_(code, value, text);
    switch (code) {
      case IST_CODE_START:
        WriteLog(L"IST_CODE_START\r\n");
        break;
      case IST_CODE_SUCCESS:
        WriteLog(L"INSTALL_SUCCESS\r\n");
        CleanUpPackage();
        break;
      case IST_CODE_FAIL:
        WriteLog(L"IST_CODE_FAIL\r\n");
        CleanUpPackage();
        break;
      default:
        break;
    }
  };

  if (!downloader_) {
    downloader_ = downloaderFactory_
                      ? downloaderFactory_(g_settings.downloadType, downloadStage, packageUrl_, packagePath_)
                      : CreateDownloader(g_settings.downloadType, downloadStage, packageUrl_, packagePath_);
  }
  if (!installer_)
    installer_ = std::make_unique<CInstaller>(installStage, L"\"" + packagePath_ + L"\"", installDir_,
                                              desktopShortcut_, quickLaunchShortcut_, consoleUserIsAdmin_);
  InstallerOptions options;
  options.installFolder = installDir_;
  options.desktopShortcut = desktopShortcut_;
  options.quickLaunchShortcut = quickLaunchShortcut_;
  options.consoleUserAdmin = consoleUserIsAdmin_;
  options.processAdmin = processIsAdmin_;
  options.language = language_;
  installer_->SetOptions(options);

  if (!oldUninstallerPath_.empty() && PathFileExistsW(oldUninstallerPath_.c_str())) {
    const std::wstring temp = Utils::GetInstallerTempFolder();
    // The folder ends with a backslash already; the doubled one is harmless.
    const std::wstring copyPath = temp.empty() ? std::wstring() : temp + L"\\" + kOldUninstallerCopyName;
    wchar_t oldFolder[MAX_PATH] = {};
    lstrcpynW(oldFolder, oldUninstallerPath_.c_str(), MAX_PATH);
    PathRemoveFileSpecW(oldFolder);
    CopyFileW(oldUninstallerPath_.c_str(), copyPath.c_str(), FALSE);  // a failed copy shows as 5004
    uninstaller_ = std::make_unique<UnInstaller>(uninstallStage, copyPath, oldFolder);
    if (g_settings.insNew) {
      // Install over a running product: wait (on the caller's thread) until it is gone.
      bool running = true;
      while (running) {
        running = Utils::FindRunningProcess(L"parlomind.exe") != 0;
        Sleep(100);
      }
    }
    uninstaller_->Start();
    return;
  }
  downloader_->Start();
}
