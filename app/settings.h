#pragma once
// The process-wide installer settings: built-in defaults, then
// KorvaneInstallerConfig.ini beside the executable (section "Install"), then the
// command line. Plain fields, read directly by whoever needs them.
#include <string>

#include "app/command_line.h"
#include "app/windows_version.h"

struct InstallerSettings {
  std::wstring instCmd;      // extra package arguments
  std::wstring downloadUrl;  // never holds "${ROUTE}"
  int downloadType = 1;      // 1 libcurl, 2 system download, 3 two parts
  bool isCheckNet = false;   // note: a settings file without the key gives true
  double downloadScale = 0.7;
  bool curlReady = true;     // cleared when libcurl's global init fails
  int language = -1;         // none chosen
  bool insNew = false;       // install over a running product

  InstallerSettings();  // built-in defaults only

  // Reads the settings file; a missing file leaves every field as it is. An
  // existing file sets all five file fields, with the missing-key values where
  // a key is absent.
  void LoadFile(const std::wstring& iniPath);
  // Copies every option present in `options` over the fields.
  void ApplyOptions(const CommandLineOptions& options);
  void SetDownloadUrl(const std::wstring& url);
};

extern const wchar_t kDefaultDownloadUrl[];
extern const wchar_t kSettingsFileName[];  // "KorvaneInstallerConfig.ini"

// The one record, built from the defaults and the file beside the executable
// during static initialisation.
extern InstallerSettings g_settings;

// Parses the process command line, keeps it for ProcessOptions() and applies it
// to g_settings. Called once by start-up.
void ApplyCommandLine();
const CommandLineOptions& ProcessOptions();

// Every "${ROUTE}" replaced by the route word of this Windows version.
std::wstring ExpandRoute(const std::wstring& url);
std::wstring ExpandRoute(const std::wstring& url, const NtVersion& version);

// Folder of the running executable, without a trailing backslash.
std::wstring ExecutableFolder();
