// Creates and destroys one window, so that Wine starts its desktop process
// now. Run by the test scripts with its output going nowhere: the desktop
// process inherits the standard handles of the first program that makes a
// window and lives until the session ends, and a test whose output pipe it
// held would keep CTest waiting.
#include <windows.h>

int wmain() {
  HWND hwnd = CreateWindowExW(0, L"STATIC", L"prime", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  if (!hwnd) return 1;
  DestroyWindow(hwnd);
  return 0;
}
