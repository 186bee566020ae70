// Feeds arbitrary bytes to the converter as a game record. The first byte
// picks the trace level (its low four bits), so the trace paths are
// exercised too, the format (the next two: UGF, GIB, NGF) and with its top
// bit whether the record's bytes are kept raw. Whatever the input, the
// SGF must be well-formed: a converted game complete, a failed one a clean
// beginning that never looks finished; unless the bytes are kept, it is
// valid UTF-8. The same record converted again gives the same bytes, and
// so does it at trace level 9, where every line goes through the line
// readers one by one: the same SGF and the same messages.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/utf8.h"
#include "convert_helpers.h"
#include "sgf_check.h"

namespace {

void Require(bool ok, const char* what, const std::string& sgf) {
  if (ok) return;
  std::fprintf(stderr, "%s\n--- SGF ---\n%s\n", what, sgf.c_str());
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  kirato::TestConversion t;
  t.conv.options.traceLevel = (data[0] & 0x0F) % 10;
  constexpr kirato::RecordFormat kFormats[] = {
      kirato::RecordFormat::kUgf, kirato::RecordFormat::kGib,
      kirato::RecordFormat::kNgf, kirato::RecordFormat::kUgf};
  t.conv.options.format = kFormats[(data[0] >> 4) & 3];
  const bool keep = (data[0] & 0x80) != 0;
  if (keep) t.conv.options.charset = kirato::CharsetMode::kKeep;
  const std::string ugf(reinterpret_cast<const char*>(data) + 1, size - 1);

  std::string sgf;
  const int result = kirato::ConvertText(t, ugf, &sgf);
  const kirato::SgfCheck check = kirato::CheckSgf(sgf);
  Require(sgf.rfind("(;GM[1]FF[4]AP[kirato:1.0]\nGN[game.sgf]\n", 0) == 0,
          "the root does not start the output", sgf);
  Require(check.validPrefix, check.error.c_str(), sgf);
  Require(keep || kirato::FirstInvalidUtf8(sgf) == std::string::npos,
          "the SGF is not valid UTF-8", sgf);
  if (result == 0) {
    Require(check.complete, "a converted game is not complete", sgf);
    Require(sgf.size() >= 2 && sgf.compare(sgf.size() - 2, 2, ")\n") == 0,
            "a converted game does not end with \")\\n\"", sgf);
  } else {
    Require(!check.complete, "a failed game looks complete", sgf);
    Require(!t.Messages().empty(), "a failed game gave no message", sgf);
  }

  std::string again;
  const int second = kirato::ConvertText(t, ugf, &again);
  Require(second == result && again == sgf,
          "the same record converted twice gives different output", again);

  if (t.conv.options.traceLevel < 9) {
    kirato::TestConversion traced;
    traced.conv.options = t.conv.options;
    traced.conv.options.traceLevel = 9;
    std::string lineByLine;
    const int third = kirato::ConvertText(traced, ugf, &lineByLine);
    Require(third == result && lineByLine == sgf,
            "reading lines one by one gives other output", lineByLine);
    std::vector<std::string> once = t.Messages();
    once.resize(once.size() / 2);
    Require(traced.Messages() == once,
            "reading lines one by one gives other messages", lineByLine);
  }
  return 0;
}
