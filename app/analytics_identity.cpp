#include "app/analytics_identity.h"

#include <cstdlib>

#include "app/install_location.h"
#include "app/log.h"
#include "utils/disk.h"
#include "utils/probes.h"

std::wstring FormatUpdateTime(const SYSTEMTIME& t) {
  wchar_t buffer[128] = {};
  FormatBounded(buffer, 128, L"%d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                t.wSecond);
  return buffer;
}

void WriteAnalyticsIdentity(const std::wstring& installPath) {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  wchar_t drive[_MAX_DRIVE] = {}, dir[MAX_PATH] = {}, name[256] = {}, ext[256] = {};
  _wsplitpath_s(exe, drive, _MAX_DRIVE, dir, MAX_PATH, name, 256, ext, 256);

  const std::wstring settings = JoinPath(installPath, L"set.ini");
  const std::wstring installerName = std::wstring(name) + ext;
  WritePrivateProfileStringW(L"Install", L"APPStore", installerName.c_str(), settings.c_str());
  WritePrivateProfileStringW(L"Install", L"AppName", kProductName, settings.c_str());
  WritePrivateProfileStringW(L"Install", L"DeviceID", Utils::NewGuidText().c_str(), settings.c_str());

  const std::wstring dataDir = ProductDataDir();
  if (!Utils::CreateFolderTree(dataDir)) return;
  const std::wstring analytics = dataDir + L"\\ZEDoveravEzidizizo.ini";
  WritePrivateProfileStringW(L"Install", L"ZEDoveravEzidizizoIni", analytics.c_str(), settings.c_str());

  SYSTEMTIME now;
  GetLocalTime(&now);
  WritePrivateProfileStringW(L"Init", L"UpdateTime", FormatUpdateTime(now).c_str(), analytics.c_str());
}
