// The file names of the record formats read here.
#include "base/ascii.h"
#include "convert/convert.h"

namespace kirato {

bool RecordFormatOf(std::string_view fileName, RecordFormat* format) {
  static constexpr struct {
    std::string_view extension;
    RecordFormat format;
  } kExtensions[] = {{".ugf", RecordFormat::kUgf},
                     {".ugi", RecordFormat::kUgf},
                     {".gib", RecordFormat::kGib},
                     {".ngf", RecordFormat::kNgf}};
  const size_t dot = fileName.rfind('.');
  if (dot == std::string_view::npos) return false;
  for (const auto& e : kExtensions) {
    // Any letter case: records copied from Windows disks and CDs often
    // carry theirs in capitals, which Windows itself never told apart.
    if (EqualsNoCase(fileName.substr(dot), e.extension)) {
      *format = e.format;
      return true;
    }
  }
  return false;
}

}  // namespace kirato
