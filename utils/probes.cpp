#include "utils/probes.h"

#include <lm.h>
#include <objbase.h>
#include <tlhelp32.h>
#include <wtsapi32.h>

#include "app/log.h"
#include "utils/handle.h"

namespace Utils {

DWORD FindRunningProcess(const std::wstring& exeName) {
  UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) {
    WriteLog(L"CreateToolhelp32Snapshot FAIL code=%lu\r\n", GetLastError());
    return 0;
  }
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  if (!Process32FirstW(snapshot.Get(), &entry)) {
    WriteLog(L"Process32FirstW FAIL code=%lu\r\n", GetLastError());
    return 0;
  }
  // Every entry counts, the first one too: it is only the idle process on
  // Windows, and any process elsewhere.
  do {
    if (lstrcmpW(entry.szExeFile, exeName.c_str()) == 0) return entry.th32ProcessID;
    entry.dwSize = sizeof(entry);
  } while (Process32NextW(snapshot.Get(), &entry));
  return 0;
}

bool IsAdministratorsMember() {
  SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
  PSID administrators = nullptr;
  if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                0, 0, &administrators)) {
    WriteLog(L"AllocateAndInitializeSid FAIL code=%lu\r\n", GetLastError());
    return false;
  }
  BOOL member = FALSE;
  if (!CheckTokenMembership(nullptr, administrators, &member)) {
    WriteLog(L"CheckTokenMembership FAIL code=%lu\r\n", GetLastError());
    member = FALSE;
  }
  FreeSid(administrators);
  return member != FALSE;
}

bool GetConsoleUserName(std::wstring& userName) {
  const DWORD sessionId = WTSGetActiveConsoleSessionId();
  LPWSTR buffer = nullptr;
  DWORD bytes = 0;
  if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, sessionId, WTSUserName, &buffer, &bytes)) {
    WriteLog(L"WTSQuerySessionInformationW(%lu) FAIL code=%lu\r\n", sessionId, GetLastError());
    return false;
  }
  userName = buffer ? buffer : L"";
  WTSFreeMemory(buffer);
  return true;
}

bool IsUserAccountAdmin(const std::wstring& userName) {
  LPBYTE buffer = nullptr;
  const NET_API_STATUS status = NetUserGetInfo(nullptr, userName.c_str(), 1, &buffer);
  if (status != NERR_Success) {
    WriteLog(L"NetUserGetInfo FAIL code=%lu\r\n", static_cast<unsigned long>(status));
    if (buffer) NetApiBufferFree(buffer);
    return false;
  }
  const bool admin = buffer && reinterpret_cast<const USER_INFO_1*>(buffer)->usri1_priv == USER_PRIV_ADMIN;
  NetApiBufferFree(buffer);
  return admin;
}

std::wstring NewGuidText() {
  GUID guid = {};
  const HRESULT hr = CoCreateGuid(&guid);
  if (FAILED(hr)) {
    WriteLog(L"CoCreateGuid FAIL code=0x%08lX\r\n", static_cast<unsigned long>(hr));
    return {};
  }
  wchar_t text[50] = {};
  FormatBounded(text, 50, L"%08X%04X%04x%02X%02X%02X%02X%02X%02X%02X%02X", static_cast<unsigned>(guid.Data1),
                guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3],
                guid.Data4[4], guid.Data4[5], guid.Data4[6], guid.Data4[7]);
  return text;
}

}  // namespace Utils
