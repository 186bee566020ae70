// How a platform writes paths: which characters separate folders, which one
// the program puts between a folder and a name, and which leading part of a
// path is a root that exists by itself and is never created. Both sets of
// rules are plain data, so the walk can be tested with either on any system.
#ifndef KIRATO_BATCH_PATH_H_
#define KIRATO_BATCH_PATH_H_

#include <string>
#include <string_view>

namespace kirato {

struct PathRules {
  char separator;           // put between a folder and a name
  bool backslashSeparates;  // '\' separates as well as '/'
  // Names that differ in the case of ASCII letters alone name one file.
  bool caseBlind;

  bool IsSeparator(char c) const {
    return c == '/' || (backslashSeparates && c == '\\');
  }

  // Length of the root that `path` begins with: "/" on POSIX systems; on
  // Windows a drive ("C:", "C:\"), the current drive's root ("\"), a share
  // ("\\server\share\") or one of these behind the "\\?\" prefix. 0 for a
  // relative path.
  size_t RootLength(std::string_view path) const;

  // The part of `path` after its folders (and after its root).
  std::string_view FileName(std::string_view path) const;

  // Splits `path` into the folder it names a file in, ending in a
  // separator ("." and a separator for a bare name), and the file's name.
  void Split(std::string_view path, std::string* folder,
             std::string* name) const;

  // `dir` ending in a separator: the prefix that names are appended to.
  std::string WithSeparator(const std::string& dir) const;
};

inline constexpr PathRules kPosixPaths{'/', false, false};
inline constexpr PathRules kWindowsPaths{'\\', true, true};

// The rules of the system this program was built for.
const PathRules& SystemPaths();

}  // namespace kirato

#endif  // KIRATO_BATCH_PATH_H_
