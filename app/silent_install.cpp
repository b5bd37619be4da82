#include "app/silent_install.h"

#include <windows.h>
#include <objbase.h>

#include <condition_variable>
#include <deque>
#include <mutex>

#include "app/analytics_identity.h"
#include "app/command_line.h"
#include "app/install_location.h"
#include "app/log.h"
#include "app/settings.h"
#include "install/download_installer.h"
#include "utils/disk.h"
#include "utils/network.h"
#include "utils/probes.h"
#include "utils/text.h"

namespace {
constexpr double kRequiredFreeGiB = 1.0;

struct Report {
  int32_t code = 0;
  double value = 0;
  std::wstring text;
};

// Reports arrive on worker threads; they are handled here in arrival order on
// the thread that runs the install, as the window handles its posted copies.
class ReportQueue {
 public:
  void Push(int32_t code, double value, const wchar_t* text) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      reports_.push_back({code, value, text ? text : L""});
    }
    ready_.notify_one();
  }
  Report Pop() {
    std::unique_lock<std::mutex> lock(mutex_);
    ready_.wait(lock, [this] { return !reports_.empty(); });
    Report r = std::move(reports_.front());
    reports_.pop_front();
    return r;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Report> reports_;
};

bool ProductOrUninstallerRunning() {
  if (g_settings.insNew) return false;
  return Utils::FindRunningProcess(kOldUninstallerCopyName) != 0 || Utils::FindRunningProcess(L"parlomind.exe") != 0;
}

double FreeGiB(const std::wstring& folder) {
  // The drive letter and colon; empty for a path without a drive.
  const std::wstring drive = folder.size() >= 2 && folder[1] == L':' ? folder.substr(0, 2) : std::wstring();
  Utils::HardDiskManager disk;  // a failed query leaves 0 free
  disk.CheckFreeSpace(drive);
  return static_cast<double>(disk.freeBytesAvailable) / (1024.0 * 1024.0 * 1024.0);
}

uint32_t CheckNetworkOnce() {
  const HRESULT hr = CoInitialize(nullptr);
  const uint32_t result = Utils::CheckNetwork();
  if (SUCCEEDED(hr)) CoUninitialize();
  return result;
}
}  // namespace

int RunSilentInstall(const CommandLineOptions& options, const SilentInstallSeams& seams) {
  InstallLocation location;
  location.LoadInstallRecord();
  const std::wstring folder = options.Has(L"-installdir")
                                  ? location.ChosenInstallDir(options.GetOptionString(L"-installdir"))
                                  : location.ResolveDefaultInstallDir();
  WriteLog(L"silent install into %s\r\n", folder.c_str());

  if (ProductOrUninstallerRunning()) {
    WriteLog(L"silent install refused: the product or its old uninstaller is running\r\n");
    return kSilentPrecheckRefused;
  }
  if (!Utils::CreateFolderTree(folder)) {
    WriteLog(L"silent install refused: cannot create %s\r\n", folder.c_str());
    return kSilentPrecheckRefused;
  }
  const double freeGiB = FreeGiB(folder);
  if (freeGiB < kRequiredFreeGiB) {
    WriteLog(L"silent install refused: %.2f GiB free\r\n", freeGiB);
    return kSilentPrecheckRefused;
  }

  location.installPath = folder;
  const std::wstring oldUninstaller = location.IsOverrideDisabled(folder) ? L"" : location.registeredUninstaller;

  if (g_settings.isCheckNet) {
    const uint32_t net = seams.checkNetwork ? seams.checkNetwork() : CheckNetworkOnce();
    if (net >= 0x10000) {
      WriteLog(L"silent install refused: network check 0x%08X\r\n", net);
      return kSilentNetworkNegative;
    }
  }

  ReportQueue queue;
  CDownloadInstaller chain([&queue](int32_t code, double value, const wchar_t* text) { queue.Push(code, value, text); },
                           L"", L"", L"", true, true, true);
  chain.SetParameters(g_settings.downloadUrl, location.registeredInstallPath, oldUninstaller, folder, true, true,
                      location.consoleUserIsAdmin, location.processIsAdmin, L"");
  chain.Start();

  for (;;) {
    const Report r = queue.Pop();
    switch (r.code) {
      case IST_CODE_START:
        WriteAnalyticsIdentity(location.installPath);
        break;
      // Path lines reach us with the carriage return of a "\r\n" line end;
      // stored as they are, they would put a broken path into the registry.
      case IST_INFO_INST_PATH:
        location.installPath = Utils::TrimRight(r.text);
        break;
      case IST_INFO_EXE_PATH:
        location.productExePath = Utils::TrimRight(r.text);
        break;
      case IST_INFO_UNINST_EP:
        location.uninstallerPath = Utils::TrimRight(r.text);
        break;
      case IST_CODE_SUCCESS:
        location.SaveInstallRecord();
        WriteAnalyticsIdentity(location.installPath);
        WriteLog(L"silent install finished into %s\r\n", location.installPath.c_str());
        return kSilentInstalled;
      case IST_CODE_FAIL:
        WriteLog(L"silent install: the package failed (%g) %s\r\n", r.value, r.text.c_str());
        return kSilentPackageFailed;
      case DL_CODE_FAIL:
        WriteLog(L"silent install: the download failed (%g)\r\n", r.value);
        return kSilentDownloadFailed;
      case UNIST_CODE_FAIL:
      case UNIST_CODE_ERROR:
        WriteLog(L"silent install: the old version was not removed (%g) %s\r\n", r.value, r.text.c_str());
        return kSilentRemovalFailed;
      default:
        break;
    }
  }
}
