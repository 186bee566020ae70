#include "batch/path.h"

#include "base/ascii.h"

namespace kirato {

namespace {

bool IsLetter(char c) { return IsUpperLetter(ToUpper(c)); }

// Index of the first separator at or after `pos`, or path.size().
size_t NameEnd(const PathRules& rules, std::string_view path, size_t pos) {
  while (pos < path.size() && !rules.IsSeparator(path[pos])) ++pos;
  return pos;
}

// The end of "server\share\" that starts at `pos`, its separator included.
size_t ShareEnd(const PathRules& rules, std::string_view path, size_t pos) {
  pos = NameEnd(rules, path, pos);
  if (pos == path.size()) return pos;
  pos = NameEnd(rules, path, pos + 1);
  return pos == path.size() ? pos : pos + 1;
}

size_t WindowsRootLength(const PathRules& rules, std::string_view path) {
  size_t pos = 0;
  if (path.size() >= 2 && rules.IsSeparator(path[0]) &&
      rules.IsSeparator(path[1])) {
    const bool prefixed = path.size() >= 4 &&
                          (path[2] == '?' || path[2] == '.') &&
                          rules.IsSeparator(path[3]);
    if (!prefixed) return ShareEnd(rules, path, 2);
    pos = 4;
    if (path.size() >= 8 && StartsWithNoCase(path.substr(4), "UNC") &&
        rules.IsSeparator(path[7])) {
      return ShareEnd(rules, path, 8);
    }
  }
  if (path.size() >= pos + 2 && IsLetter(path[pos]) && path[pos + 1] == ':') {
    pos += 2;
    if (pos < path.size() && rules.IsSeparator(path[pos])) ++pos;
    return pos;
  }
  if (pos == 0 && !path.empty() && rules.IsSeparator(path[0])) return 1;
  return pos;
}

}  // namespace

size_t PathRules::RootLength(std::string_view path) const {
  if (backslashSeparates) return WindowsRootLength(*this, path);
  return !path.empty() && path[0] == '/' ? 1 : 0;
}

std::string_view PathRules::FileName(std::string_view path) const {
  size_t start = RootLength(path);
  for (size_t i = start; i < path.size(); ++i) {
    if (IsSeparator(path[i])) start = i + 1;
  }
  return path.substr(start);
}

void PathRules::Split(std::string_view path, std::string* folder,
                      std::string* name) const {
  const std::string_view file = FileName(path);
  folder->assign(path.substr(0, path.size() - file.size()));
  if (folder->empty()) *folder = std::string(".") + separator;
  name->assign(file);
}

std::string PathRules::WithSeparator(const std::string& dir) const {
  if (!dir.empty() && IsSeparator(dir.back())) return dir;
  return dir + separator;
}

}  // namespace kirato
