// Paths on Windows: '\' and '/' both separate, drives and shares are roots,
// and names cross into the wide-character API as UTF-16.
#include "batch/path_win32.h"

#include <cerrno>
#include <cstring>

#include "base/ascii.h"
#include "batch/path.h"

// Last: it defines words such as "near" as macros, which would change the
// code of the headers above.
#include <windows.h>

namespace kirato {

namespace {

// Below this length every call of the API takes a path as it stands;
// CreateDirectoryW is the first to refuse, at 248.
constexpr size_t kClassicLimit = 240;

std::wstring WideFromCodePage(std::string_view text, UINT codePage,
                              DWORD flags) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n =
      ::MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
  if (n <= 0) return {};
  std::wstring wide(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), n);
  return wide;
}

struct ErrnoMapping {
  DWORD error;
  int errnoValue;
};

// The mapping of the C library's own file calls.
constexpr ErrnoMapping kErrnoOf[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},       {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_INVALID_DRIVE, ENOENT},        {ERROR_BAD_NETPATH, ENOENT},
    {ERROR_BAD_NET_NAME, ENOENT},         {ERROR_BAD_PATHNAME, ENOENT},
    {ERROR_FILENAME_EXCED_RANGE, ENOENT}, {ERROR_ACCESS_DENIED, EACCES},
    {ERROR_SHARING_VIOLATION, EACCES},    {ERROR_LOCK_VIOLATION, EACCES},
    {ERROR_WRITE_PROTECT, EACCES},        {ERROR_NETWORK_ACCESS_DENIED, EACCES},
    {ERROR_CANNOT_MAKE, EACCES},          {ERROR_CURRENT_DIRECTORY, EACCES},
    {ERROR_ALREADY_EXISTS, EEXIST},       {ERROR_FILE_EXISTS, EEXIST},
    {ERROR_DISK_FULL, ENOSPC},            {ERROR_HANDLE_DISK_FULL, ENOSPC},
    {ERROR_DIRECTORY, ENOTDIR},           {ERROR_DIR_NOT_EMPTY, ENOTEMPTY},
    {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},    {ERROR_OUTOFMEMORY, ENOMEM},
    {ERROR_BAD_EXE_FORMAT, ENOEXEC},      {ERROR_BAD_FORMAT, ENOEXEC},
    {ERROR_TOO_MANY_OPEN_FILES, EMFILE},
};

}  // namespace

const PathRules& SystemPaths() { return kWindowsPaths; }

std::wstring WideFromUtf8(std::string_view text) {
  if (IsUtf8(text)) return WideFromCodePage(text, CP_UTF8, 0);
  return WideFromCodePage(text, CP_ACP, 0);
}

std::string Utf8FromWide(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr,
                                      0, nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), n, nullptr,
                        nullptr);
  return out;
}

std::string Utf8FromCodePage(std::string_view text, unsigned codePage) {
  return Utf8FromWide(
      WideFromCodePage(text, codePage == 0 ? CP_ACP : codePage, 0));
}

std::wstring WidePath(std::string_view path) {
  std::wstring wide = WideFromUtf8(path);
  if (wide.size() < kClassicLimit || wide.starts_with(L"\\\\?\\")) {
    return wide;
  }
  std::wstring full(wide.size() + MAX_PATH, L'\0');
  DWORD n = ::GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()),
                               full.data(), nullptr);
  if (n >= full.size()) {
    full.resize(n);
    n = ::GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  }
  if (n == 0 || n >= full.size()) return wide;
  full.resize(n);
  if (full.starts_with(L"\\\\?\\") || full.starts_with(L"\\\\.\\")) {
    return full;
  }
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

int ErrnoOf(unsigned long error) {
  for (const ErrnoMapping& m : kErrnoOf) {
    if (m.error == error) return m.errnoValue;
  }
  return 0;
}

bool IsReservedDeviceName(std::string_view name) {
  std::string_view base = name.substr(0, name.find('.'));
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  for (std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$",
                                  "CONOUT$"}) {
    if (EqualsNoCase(base, device)) return true;
  }
  if (base.size() < 4 ||
      !(StartsWithNoCase(base, "COM") || StartsWithNoCase(base, "LPT"))) {
    return false;
  }
  // COM0 to COM9, and COM¹, COM², COM³ in UTF-8; likewise LPT.
  const std::string_view number = base.substr(3);
  return (number.size() == 1 && IsDigit(number[0])) ||
         number == "\xC2\xB9" || number == "\xC2\xB2" || number == "\xC2\xB3";
}

std::string ErrorText(unsigned long error) {
  // Told apart from a missing permission, which the C library would make
  // of them: the cure is to close the other program, not to change rights.
  if (error == ERROR_SHARING_VIOLATION) {
    return "the file is in use by another program (sharing violation)";
  }
  if (error == ERROR_LOCK_VIOLATION) {
    return "another program has locked part of the file (lock violation)";
  }
  if (const int e = ErrnoOf(error)) return std::strerror(e);
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
          FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = n > 0 ? Utf8FromWide(std::wstring_view(text, n)) : "";
  if (text) ::LocalFree(text);
  TrimTrailingSpace(out);
  if (out.empty()) out = "system error " + std::to_string(error);
  return out;
}

}  // namespace kirato
