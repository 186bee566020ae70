// kirato.exe: the window program on Windows. Runs the datafile that lies
// beside it, shows every message in its window and closes itself when the
// datafile asks.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/common/command_line.h"
#include "app/win32/converter_app.h"
#include "batch/path_win32.h"
#include "batch/process.h"

namespace {

// A window program has no console of its own: the answer goes to the
// standard output it was given, else to the console it was started from,
// else into a message box.
void ShowInfo(const std::string& text) {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  bool own = false;
  if ((!out || out == INVALID_HANDLE_VALUE) &&
      ::AttachConsole(ATTACH_PARENT_PROCESS)) {
    out = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
    own = out != INVALID_HANDLE_VALUE;
  }
  DWORD done = 0;
  if (!out || out == INVALID_HANDLE_VALUE ||
      !::WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &done,
                   nullptr)) {
    ::MessageBoxW(nullptr, kirato::WideFromUtf8(text).c_str(), L"kirato",
                  MB_OK | MB_ICONINFORMATION);
  }
  if (own) ::CloseHandle(out);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  const std::vector<std::string> arguments =
      kirato::ProgramArguments(__argc, __argv);
  const std::string info =
      arguments.size() > 1 ? kirato::InfoOptionText(arguments[1]) : "";
  if (!info.empty()) {
    ShowInfo(info);
    return 0;
  }
  kirato::CConverterApp app(instance);
  return app.InitInstance();
}
