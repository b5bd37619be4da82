#pragma once
// Chains one installation: remove the installed older version through its own
// uninstaller, download the package, run it. Each stage reports through a
// StageCallback; every report is forwarded first, unchanged and exactly once,
// to the owner's callback, and only then does the chain take its next step:
//
//   old uninstaller -> (5003) download -> (1003) package run -> 2003 / 2004
//                   \-> 5004/5005 stop   \-> 1004 stop, 1005 download again
//
// The stages run on worker threads and start one another from there; Start()
// itself returns at once (except that "-insnew" waits for a running product).
// The downloader and the package installer made by the first Start() are
// kept for later attempts.
#include <functional>
#include <memory>
#include <string>

#include "install/stage.h"

class CDownloader;
class CInstaller;
class UnInstaller;

class CDownloadInstaller {
 public:
  CDownloadInstaller(StageCallback windowCallback, std::wstring packageUrl, std::wstring oldUninstallerPath,
                     std::wstring installDir, bool desktopShortcut, bool quickLaunchShortcut, bool consoleUserIsAdmin);
  // Waits for the running stages: the uninstaller first (it may start the
  // download), then the downloader (it may start the package), then the package.
  ~CDownloadInstaller();
  CDownloadInstaller(const CDownloadInstaller&) = delete;
  CDownloadInstaller& operator=(const CDownloadInstaller&) = delete;

  void SetParameters(std::wstring packageUrl, std::wstring oldInstallDir, std::wstring oldUninstallerPath,
                     std::wstring installDir, bool desktopShortcut, bool quickLaunchShortcut, bool consoleUserIsAdmin,
                     bool processIsAdmin, std::wstring language);
  void Start();

  // <install folder>\__Package_parlomind.exe, composed by Start().
  const std::wstring& PackagePath() const { return packagePath_; }

  // Tests put a downloader of their own in place of the one the download
  // type selects; the uninstaller and the package run stay real.
  using DownloaderFactory = std::function<std::unique_ptr<CDownloader>(
      int downloadType, StageCallback callback, const std::wstring& url, const std::wstring& targetPath)>;
  void SetDownloaderFactory(DownloaderFactory factory) { downloaderFactory_ = std::move(factory); }

 private:
  void CleanUpPackage();

  std::unique_ptr<UnInstaller> uninstaller_;
  std::unique_ptr<CDownloader> downloader_;
  std::unique_ptr<CInstaller> installer_;
  std::wstring packageUrl_;
  std::wstring oldUninstallerPath_;
  std::wstring installDir_;
  std::wstring packagePath_;
  std::wstring oldInstallDir_;
  std::wstring language_;
  bool desktopShortcut_ = true;
  bool quickLaunchShortcut_ = true;
  bool consoleUserIsAdmin_ = true;
  bool processIsAdmin_ = true;
  StageCallback windowCallback_;
  DownloaderFactory downloaderFactory_;
};

// The working folder's copy of the old uninstaller.
inline constexpr wchar_t kOldUninstallerCopyName[] = L"parlomind_un_asa.exe";
