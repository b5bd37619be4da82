// Reports the Windows version the real API gives this process and the route
// word chosen from it: exit code = major * 1000 + minor * 10 + (1 for the XP route).
#include "app/settings.h"

int wmain() {
  const NtVersion v = QueryNtVersion();
  const bool xp = ExpandRoute(L"${ROUTE}") == L"download_silent_xp";
  return static_cast<int>(v.major * 1000 + v.minor * 10 + (xp ? 1 : 0));
}
