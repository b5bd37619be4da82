// Writes known log lines from the main thread and from worker threads, so that
// a test watching as a debugger can check the whole line format.
#include <windows.h>

#include "app/log.h"
#include "utils/thread.h"

namespace Probe {
struct Widget {
  static void Report(int n) { WriteLog(L"Widget n=%d\r\n", n); }
};
}  // namespace Probe

int wmain() {
  WriteLog(L"plain message\r\n");
  WriteLog(L"no line end");
  WriteLog(L"wide %s and %d%%\r\n", L"text", 42);
  Probe::Widget::Report(7);
  auto lambda = [] { WriteLog(L"from lambda\r\n"); };
  lambda();
#line 12345
  WriteLog(L"high line\r\n");
  {
    Utils::Thread named(nullptr, L"ABDEF", [](void*) -> unsigned {
      WriteLog(L"worker says hi\r\n");
      return 0;
    });
    named.Resume();
  }  // destruction waits
  {
    Utils::Thread unnamed(nullptr, L"", [](void*) -> unsigned { return 0; });
    unnamed.Resume();
    unnamed.Join();
  }
  return 3;
}
