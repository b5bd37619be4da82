#include "app/settings.h"

#include <windows.h>

#include <cmath>
#include <limits>

const wchar_t kDefaultDownloadUrl[] = L"http://dl.parlomind.com/software/381";
const wchar_t kSettingsFileName[] = L"KorvaneInstallerConfig.ini";

namespace {
constexpr wchar_t kSection[] = L"Install";
constexpr DWORD kValueBuffer = 260;  // the reader's buffer; longer values are cut to 259

std::wstring ReadString(const std::wstring& path, const wchar_t* key, const wchar_t* fallback) {
  wchar_t buffer[kValueBuffer] = {};
  GetPrivateProfileStringW(kSection, key, fallback, buffer, kValueBuffer, path.c_str());
  return buffer;
}

CommandLineOptions& StoredOptions() {
  static CommandLineOptions options;
  return options;
}
}  // namespace

InstallerSettings::InstallerSettings() { SetDownloadUrl(kDefaultDownloadUrl); }

void InstallerSettings::SetDownloadUrl(const std::wstring& url) { downloadUrl = ExpandRoute(url); }

void InstallerSettings::LoadFile(const std::wstring& iniPath) {
  if (GetFileAttributesW(iniPath.c_str()) == INVALID_FILE_ATTRIBUTES) return;

  SetDownloadUrl(ReadString(iniPath, L"DownloadUrl", kDefaultDownloadUrl));

  // The system's integer reader gives 0 for text that is not a number; a
  // number beyond 32 bits would wrap there, so such a value keeps the default.
  int type = 0;
  const std::wstring typeText = ReadString(iniPath, L"DownloadType", L"1");
  if (ParseLeadingInt(typeText, &type) != NumberParse::OutOfRange)
    downloadType = static_cast<int>(GetPrivateProfileIntW(kSection, L"DownloadType", 1, iniPath.c_str()));

  isCheckNet = ReadString(iniPath, L"IsCheckNet", L"true") == L"true";

  double scale = 0.0;
  switch (ParseLeadingDouble(ReadString(iniPath, L"DownloadScale", L"0.7"), &scale)) {
    case NumberParse::Ok: downloadScale = scale; break;
    case NumberParse::NotNumber: downloadScale = 0.0; break;
    case NumberParse::OutOfRange: break;  // keeps the value it had
  }

  instCmd = ReadString(iniPath, L"InstCmd", L"");
}

void InstallerSettings::ApplyOptions(const CommandLineOptions& o) {
  if (o.Has(L"-downloadurl")) SetDownloadUrl(o.GetOptionString(L"-downloadurl"));
  int n = 0;
  if (o.Has(L"-downloadtype")) {
    const NumberParse r = ParseLeadingInt(o.GetOptionString(L"-downloadtype"), &n);
    if (r != NumberParse::OutOfRange) downloadType = r == NumberParse::Ok ? n : 0;
  }
  if (o.Has(L"-downloadscale")) {
    // Unparsable or out of range: the previous value stays, so the progress
    // bar never has to cope with a scale that is not a number.
    const double v = o.GetOptionDouble(L"-downloadscale", std::numeric_limits<double>::quiet_NaN());
    if (!std::isnan(v)) downloadScale = v;
  }
  if (o.Has(L"-ischecknet")) isCheckNet = o.GetOptionBool(L"-ischecknet");
  if (o.Has(L"-instcmd")) instCmd = o.GetOptionString(L"-instcmd");
  if (o.Has(L"-language")) {
    const NumberParse r = ParseLeadingInt(o.GetOptionString(L"-language"), &n);
    if (r != NumberParse::OutOfRange) language = r == NumberParse::Ok ? n : 0;
  }
  if (o.Has(L"-insnew")) insNew = o.GetOptionBool(L"-insnew");
}

std::wstring ExpandRoute(const std::wstring& url, const NtVersion& version) {
  static const std::wstring kPlaceholder = L"${ROUTE}";
  std::wstring out = url;
  if (out.find(kPlaceholder) == std::wstring::npos) return out;
  const std::wstring word = RouteWord(version);
  // Always search from the start, as the route word cannot contain the placeholder.
  for (size_t at; (at = out.find(kPlaceholder)) != std::wstring::npos;) out.replace(at, kPlaceholder.size(), word);
  return out;
}

std::wstring ExpandRoute(const std::wstring& url) {
  if (url.find(L"${ROUTE}") == std::wstring::npos) return url;
  return ExpandRoute(url, QueryNtVersion());
}

std::wstring ExecutableFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s(path, n < MAX_PATH ? n : 0);
  const size_t slash = s.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : s.substr(0, slash);
}

namespace {
InstallerSettings LoadProcessSettings() {
  InstallerSettings s;
  s.LoadFile(ExecutableFolder() + L"\\" + kSettingsFileName);
  return s;
}
}  // namespace

InstallerSettings g_settings = LoadProcessSettings();

void ApplyCommandLine() {
  StoredOptions() = CommandLineOptions::FromProcess();
  g_settings.ApplyOptions(StoredOptions());
}

const CommandLineOptions& ProcessOptions() { return StoredOptions(); }
