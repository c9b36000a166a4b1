#include <windows.h>

#include "base/log.h"

// The shell (start-up, main window, shutdown) is not built yet.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  nv::log << "vosk " << nv::kVersion << ": the main window is not built yet" << nv::endl;
  MessageBoxW(nullptr, L"The Tamsel window is not built yet.", L"Tamsel", MB_OK | MB_ICONINFORMATION);
  return 0;
}
