// What the Windows files share: text crossing into and out of the
// wide-character API, and the texts of its errors. Inside the program every
// path is UTF-8; it becomes UTF-16 only at the system's door.
#ifndef KIRATO_BATCH_PATH_WIN32_H_
#define KIRATO_BATCH_PATH_WIN32_H_

#include <string>
#include <string_view>

#include "base/utf8.h"

namespace kirato {

// UTF-8 to UTF-16. Bytes that are not UTF-8 are read in the system's ANSI
// code page rather than lost.
std::wstring WideFromUtf8(std::string_view text);

// UTF-16 to UTF-8.
std::string Utf8FromWide(std::wstring_view text);

// True when `text` is well-formed UTF-8 (ASCII is).
inline bool IsUtf8(std::string_view text) {
  return FirstInvalidUtf8(text) == std::string_view::npos;
}

// `text` in code page `codePage` (0: the ANSI code page), as UTF-8.
std::string Utf8FromCodePage(std::string_view text, unsigned codePage);

// `path` as the wide-character API takes it. A path too long for the
// classic limit of 260 characters is made absolute and given the "\\?\"
// prefix ("\\?\UNC\" for a share), under which the limit does not hold.
std::wstring WidePath(std::string_view path);

// The C library's text for the errno value that a system error stands for
// ("No such file or directory"), as the program shows on every system;
// the system's own text for an error without one.
std::string ErrorText(unsigned long error);

// The errno value for a system error, or 0 when there is none.
int ErrnoOf(unsigned long error);

// True when `name` (a file name without folders) names one of the devices
// Windows keeps in every folder (CON, PRN, AUX, NUL, COM1, LPT1, ...),
// whatever its extension: "con.ugf" may be the console.
bool IsReservedDeviceName(std::string_view name);

}  // namespace kirato

#endif  // KIRATO_BATCH_PATH_WIN32_H_
