#include "batch/record_names.h"

#include "base/ascii.h"

namespace kirato {

namespace {

// The part of `name` from its last '.', or empty.
std::string_view Extension(std::string_view name) {
  const size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : name.substr(dot);
}

}  // namespace

std::string OutputNameFor(std::string_view name) {
  const std::string_view ext = Extension(name);
  for (std::string_view record : kRecordExtensions) {
    if (ext == record) {
      std::string out(name.substr(0, name.size() - ext.size()));
      return out.append(".sgf");
    }
  }
  return {};
}

bool IsNamedLikeRecord(const PathRules& rules, std::string_view path) {
  std::string_view name = rules.FileName(path);
  if (rules.backslashSeparates) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
      name.remove_suffix(1);
    }
  }
  const std::string_view ext = Extension(name);
  for (std::string_view record : kRecordExtensions) {
    if (EqualsNoCase(ext, record)) return true;
  }
  return false;
}

}  // namespace kirato
