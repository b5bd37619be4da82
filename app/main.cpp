// Entry point of ParlomindSetup.exe: the start-up sequence and its tear-down.
// The settings record was already built from its defaults and the settings
// file during static initialisation.
#include <windows.h>

#include <curl/curl.h>

#include "app/log.h"
#include "app/log_file.h"
#include "app/settings.h"
#include "app/silent_install.h"
#include "app/single_instance.h"
#include "skinui/ui_manager.h"

namespace {
// Records nothing: the system's own crash handling takes over.
LONG WINAPI ContinueSearch(EXCEPTION_POINTERS*) { return EXCEPTION_CONTINUE_SEARCH; }

void LogEffectiveSettings() {
  const InstallerSettings& s = g_settings;
  WriteLog(L"DownloadUrl=%s DownloadType=%d IsCheckNet=%d DownloadScale=%g InstCmd=%s Language=%d InsNew=%d "
           L"CurlReady=%d\r\n",
           s.downloadUrl.c_str(), s.downloadType, s.isCheckNet ? 1 : 0, s.downloadScale, s.instCmd.c_str(),
           s.language, s.insNew ? 1 : 0, s.curlReady ? 1 : 0);
}
}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  SetUnhandledExceptionFilter(ContinueSearch);

  if (curl_global_init(CURL_GLOBAL_ALL) != CURLE_OK) g_settings.curlReady = false;

  SingleInstanceGuard guard(kInstallerGuardName);
  // Another installer runs (or the mutex could not be made): leave at once,
  // silently, without touching libcurl.
  if (!guard.Acquire()) return -1;

  ApplyCommandLine();
  const CommandLineOptions& options = ProcessOptions();
  if (options.Has(L"-log")) OpenLogFile(options.GetOptionString(L"-log"));
  LogEffectiveSettings();

  int exitCode = 0;
  if (options.Has(L"-silent")) {
    exitCode = RunSilentInstall(options);
  } else {
    // The toolkit takes its skin from the 7z archive among this module's
    // resources; the window that uses it comes with the installer window.
    SkinUI::CUIManager::SetInstance(instance);
    SkinUI::CUIManager::SetResourceArchive7z(true);
  }

  curl_global_cleanup();
  CloseLogFile();
  guard.Release();
  return exitCode;
}
