// Process services on Windows (see disk_win32.cpp for the files).
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "base/ascii.h"
#include "batch/path.h"
#include "batch/path_win32.h"
#include "batch/process.h"

// Last: it defines words such as "near" as macros, which would change the
// code of the headers above.
#include <windows.h>
#include <shellapi.h>

namespace kirato {

namespace {

bool IsFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool EndsWithNoCase(std::string_view text, std::string_view end) {
  return text.size() >= end.size() &&
         StartsWithNoCase(text.substr(text.size() - end.size()), end);
}

// The file a name stands for, searched as the C library's spawn searches:
// a name whose last part has an extension is taken as it is, any other is
// tried with ".com", ".exe", ".bat" and ".cmd" in this order. A name
// without a folder is looked for in the current folder only. Empty when no
// such file exists.
std::string ProgramFile(const std::string& name) {
  if (kWindowsPaths.FileName(name).find('.') != std::string_view::npos) {
    return IsFile(name) ? name : std::string();
  }
  for (const char* extension : {".com", ".exe", ".bat", ".cmd"}) {
    std::string candidate = name + extension;
    if (IsFile(candidate)) return candidate;
  }
  return {};
}

std::wstring CommandInterpreter() {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetEnvironmentVariableW(L"ComSpec", path, MAX_PATH);
  if (n > 0 && n < MAX_PATH) return path;
  return L"cmd.exe";
}

}  // namespace

std::string SelfExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, path.data(),
                                         static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return Utf8FromWide(path);
    }
    if (path.size() > 65536) return {};
    path.resize(path.size() * 2);
  }
}

// A job folder holds a copy of the program: the path it was started under
// is its own file.
std::string InvokedProgramPath(const char*) { return SelfExecutablePath(); }

bool RunProgramAndWait(const std::string& name, int* exitStatus,
                       int* error) {
  const std::string file = ProgramFile(name);
  if (file.empty()) {
    *error = ENOENT;
    return false;
  }
  std::wstring application = WidePath(file);
  // Argument zero is the name itself, quoted, as blanks may be in it.
  std::wstring commandLine = L"\"" + WideFromUtf8(name) + L"\"";
  if (EndsWithNoCase(file, ".bat") || EndsWithNoCase(file, ".cmd")) {
    // A batch file runs in the command interpreter; the outer quotes are
    // the ones it takes away.
    application = CommandInterpreter();
    commandLine = L"cmd /c \"\"" + WideFromUtf8(file) + L"\"\"";
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!::CreateProcessW(application.c_str(), commandLine.data(), nullptr,
                        nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
    const DWORD failure = ::GetLastError();
    *error = ErrnoOf(failure) != 0 ? ErrnoOf(failure) : EINVAL;
    return false;
  }
  ::CloseHandle(process.hThread);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  ::GetExitCodeProcess(process.hProcess, &status);
  ::CloseHandle(process.hProcess);
  // A crash status such as 0xC0000005 is no failure to start.
  *exitStatus = static_cast<int>(status & 0x7FFFFFFF);
  return true;
}

std::vector<std::string> ProgramArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

void PrepareStandardStreams() {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // The console shows UTF-8 while the program runs, and what it showed
  // before once the program ends.
  static const UINT previous = ::GetConsoleOutputCP();
  if (previous != 0 && previous != CP_UTF8 && ::SetConsoleOutputCP(CP_UTF8)) {
    std::atexit([] { ::SetConsoleOutputCP(previous); });
  }
}

int TerminalColumns(FILE* stream) {
  HANDLE handle =
      reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (handle == INVALID_HANDLE_VALUE ||
      !::GetConsoleScreenBufferInfo(handle, &info)) {
    return 0;  // a file or a pipe, not a console
  }
  return info.srWindow.Right - info.srWindow.Left + 1;
}

int64_t CurrentProcessId() { return ::GetCurrentProcessId(); }

bool ProcessEnded(int64_t pid) {
  if (pid <= 0 || pid > UINT32_MAX) return false;
  HANDLE process =
      ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (!process) return ::GetLastError() == ERROR_INVALID_PARAMETER;
  const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  ::CloseHandle(process);
  return ended;
}

}  // namespace kirato
