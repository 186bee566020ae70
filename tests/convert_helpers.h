// Runs the conversion engine in memory and collects what it produced.
#ifndef KIRATO_TESTS_CONVERT_HELPERS_H_
#define KIRATO_TESTS_CONVERT_HELPERS_H_

#include <string>
#include <string_view>
#include <vector>

#include "batch/path.h"
#include "convert/game.h"
#include "convert/text.h"

namespace kirato {

// One conversion's state, for calling the line handlers directly, and the
// notes of whole games converted with ConvertText.
struct TestConversion {
  Conversion conv;

  std::vector<std::string> Messages() const {
    std::vector<std::string> out;
    for (const Note& n : conv.notes) {
      if (n.kind != NoteKind::kTrace) out.push_back(n.text);
    }
    return out;
  }
  // The trace lines as the log would hold them.
  std::string Trace() const {
    std::string out;
    for (const Note& n : conv.notes) {
      if (n.kind == NoteKind::kTrace) out.append(n.text).append("\r\n");
    }
    return out;
  }
};

// Converts a UGF text in memory at the trace level of `t`; *sgf receives the
// output, `t` the notes and the error flag. The game is named after the file
// name in `outputPath`, as the walk names it.
inline int ConvertText(TestConversion& t, std::string_view ugf,
                       std::string* sgf,
                       std::string_view outputPath = "/out/game.sgf") {
  GameResult r;
  ConvertGame(ugf, kPosixPaths.FileName(outputPath), t.conv.options, &r);
  *sgf = std::move(r.sgf);
  t.conv.notes.insert(t.conv.notes.end(), r.notes.begin(), r.notes.end());
  if (!r.converted) t.conv.errorFlag = 1;
  return r.converted ? 0 : 1;
}

}  // namespace kirato

#endif  // KIRATO_TESTS_CONVERT_HELPERS_H_
