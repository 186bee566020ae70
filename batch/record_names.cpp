#include "batch/record_names.h"

#include "base/ascii.h"

namespace kirato {

namespace {

struct FormatName {
  std::string_view name;
  RecordFormat format;
};

constexpr FormatName kFormatNames[] = {{"UGF", RecordFormat::kUgf},
                                       {"GIB", RecordFormat::kGib},
                                       {"NGF", RecordFormat::kNgf}};

}  // namespace

bool ReadFormatSet(std::string_view value, FormatSet* formats) {
  if (EqualsNoCase(TrimSpace(value), "ALL")) {
    *formats = 0;
    for (const FormatName& f : kFormatNames) *formats |= FormatBit(f.format);
    return true;
  }
  FormatSet set = 0;
  for (size_t pos = 0; pos <= value.size();) {
    size_t comma = value.find(',', pos);
    if (comma == std::string_view::npos) comma = value.size();
    const std::string_view name = TrimSpace(value.substr(pos, comma - pos));
    bool known = false;
    for (const FormatName& f : kFormatNames) {
      if (EqualsNoCase(name, f.name)) {
        set |= FormatBit(f.format);
        known = true;
      }
    }
    if (!known) return false;
    pos = comma + 1;
  }
  *formats = set;
  return true;
}

bool RecordStemOf(std::string_view name, FormatSet formats,
                  RecordFormat* format, size_t* stem) {
  if (!RecordFormatOf(name, format) || (formats & FormatBit(*format)) == 0) {
    return false;
  }
  *stem = name.rfind('.');
  return true;
}

std::string OutputNameFor(std::string_view name, FormatSet formats,
                          RecordFormat* format) {
  size_t stem = 0;
  if (!RecordStemOf(name, formats, format, &stem)) return {};
  std::string out(name.substr(0, stem));
  return out.append(".sgf");
}

bool IsNamedLikeRecord(const PathRules& rules, std::string_view path) {
  std::string_view name = rules.FileName(path);
  if (rules.backslashSeparates) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) {
      name.remove_suffix(1);
    }
  }
  RecordFormat format;
  return RecordFormatOf(name, &format);
}

}  // namespace kirato
