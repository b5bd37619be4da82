// The environment probes through the real system calls under Wine. Where
// Wine gives only one answer (it runs everything elevated), the other answer
// is reached through the same call with a restricted impersonation token.
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <cwctype>
#include <set>

#include "tests/support/process.h"
#include "utils/handle.h"
#include "utils/probes.h"

namespace {
std::wstring OwnExeName() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring s = path;
  return s.substr(s.find_last_of(L"\\/") + 1);
}

std::wstring Upper(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(towupper(c));
  return s;
}

TEST(FindRunningProcess, ExactNameOnly) {
  const std::wstring self = OwnExeName();
  EXPECT_EQ(GetCurrentProcessId(), Utils::FindRunningProcess(self));
  EXPECT_EQ(0u, Utils::FindRunningProcess(Upper(self))) << "the comparison is case-sensitive";
  EXPECT_EQ(0u, Utils::FindRunningProcess(L"no_such_program.exe"));
  EXPECT_EQ(0u, Utils::FindRunningProcess(L""));
}

TEST(FindRunningProcess, FirstEntryOfTheSnapshotCounts) {
  Utils::UniqueFile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  ASSERT_TRUE(snapshot.Valid());
  PROCESSENTRY32W first = {};
  first.dwSize = sizeof(first);
  ASSERT_TRUE(Process32FirstW(snapshot.Get(), &first));
  // Under Wine the first entry is the calling process itself.
  EXPECT_NE(0u, Utils::FindRunningProcess(first.szExeFile)) << testing::PrintToString(std::wstring(first.szExeFile));
}

TEST(Administrators, ProcessTokenUnderWineIsElevated) {
  EXPECT_TRUE(Utils::IsAdministratorsMember()) << "Wine runs every process elevated";
}

TEST(Administrators, RestrictedTokenIsNoMember) {
  // A token in which the Administrators group only denies, as a standard
  // user's filtered token has it.
  HANDLE raw = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_IMPERSONATE, &raw));
  Utils::UniqueHandle token(raw);
  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID admins = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                       0, &admins));
  SID_AND_ATTRIBUTES deny = {admins, 0};
  HANDLE restrictedRaw = nullptr;
  const BOOL made = CreateRestrictedToken(token.Get(), 0, 1, &deny, 0, nullptr, 0, nullptr, &restrictedRaw);
  FreeSid(admins);
  if (!made) GTEST_SKIP() << "CreateRestrictedToken refused, code " << GetLastError();
  Utils::UniqueHandle restricted(restrictedRaw);
  HANDLE impersonationRaw = nullptr;
  ASSERT_TRUE(DuplicateToken(restricted.Get(), SecurityImpersonation, &impersonationRaw));
  Utils::UniqueHandle impersonation(impersonationRaw);
  ASSERT_TRUE(SetThreadToken(nullptr, impersonation.Get()));
  const bool member = Utils::IsAdministratorsMember();
  RevertToSelf();
  EXPECT_FALSE(member);
  EXPECT_TRUE(Utils::IsAdministratorsMember()) << "back to the process token";
}

TEST(ConsoleUser, NameOfTheActiveSession) {
  std::wstring name = L"untouched";
  ASSERT_TRUE(Utils::GetConsoleUserName(name));
  EXPECT_FALSE(name.empty());
  wchar_t own[256] = {};
  DWORD size = 256;
  ASSERT_TRUE(GetUserNameW(own, &size));
  EXPECT_EQ(std::wstring(own), name) << "the tests run in the console session";
}

TEST(ConsoleUser, AccountPrivilege) {
  std::wstring name;
  ASSERT_TRUE(Utils::GetConsoleUserName(name));
  // Wine knows one local account, the Unix user's, and gives it guest
  // privilege (0): the console user never counts as an administrator there.
  EXPECT_FALSE(Utils::IsUserAccountAdmin(name)) << testing::PrintToString(name);
  EXPECT_FALSE(Utils::IsUserAccountAdmin(L""));
  EXPECT_FALSE(Utils::IsUserAccountAdmin(L"no_such_user_4711"));
  EXPECT_FALSE(Utils::IsUserAccountAdmin(L"SOMEDOMAIN\\" + name)) << "a domain account has no local record";
}

TEST(NewGuidText, ThirtyTwoDigitsThirdGroupLowerCase) {
  std::set<std::wstring> seen;
  for (int i = 0; i < 20; ++i) {
    const std::wstring text = Utils::NewGuidText();
    ASSERT_EQ(32u, text.size()) << testing::PrintToString(text);
    for (size_t at = 0; at < text.size(); ++at) {
      const wchar_t c = text[at];
      ASSERT_TRUE(iswxdigit(c)) << testing::PrintToString(text);
      if (at >= 12 && at < 16) EXPECT_FALSE(iswupper(c)) << at << " " << testing::PrintToString(text);
      else EXPECT_FALSE(iswlower(c)) << at << " " << testing::PrintToString(text);
    }
    seen.insert(text);
  }
  EXPECT_EQ(20u, seen.size());
}

}  // namespace
