// Runs the conversion engine in memory and collects what it produced.
#ifndef KIRATO_TESTS_CONVERT_HELPERS_H_
#define KIRATO_TESTS_CONVERT_HELPERS_H_

#include <string>
#include <string_view>
#include <vector>

#include "batch/path.h"
#include "convert/conversion.h"
#include "convert/game_model.h"
#include "convert/sgf_writer.h"
#include "convert/ugf.h"

namespace kirato {

using LineReader = bool (*)(UgfReader&, std::string_view, std::string*);

// One conversion's state, for calling the line readers directly, and the
// notes of whole games converted with ConvertText.
struct TestConversion {
  Conversion conv;
  GameModel game;
  UgfReader reader{conv, game};

  // Hands one line to a line reader as a conversion does: a reason to stop
  // becomes the conversion's message. True when the reading goes on.
  bool Read(LineReader read, std::string_view line) {
    std::string err;
    if (read(reader, line, &err)) return true;
    Message(conv, std::move(err));
    return false;
  }

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
  // The root properties read so far, as the SGF holds them.
  std::string RootProperties() const {
    std::string root;
    WriteSgfStart(game, &root);
    return root.substr(root.find("GN[]\n") + 5);
  }
};

// Converts a UGF text in memory with the options of `t`; *sgf receives the
// output, `t` the notes. The game is named after the file name in
// `outputPath`, as the walk names it. Returns 0 when converted, else 1.
inline int ConvertText(TestConversion& t, std::string_view ugf,
                       std::string* sgf,
                       std::string_view outputPath = "/out/game.sgf") {
  GameResult r;
  ConvertGame(ugf, kPosixPaths.FileName(outputPath), t.conv.options, &r);
  *sgf = std::move(r.sgf);
  t.conv.notes.insert(t.conv.notes.end(), r.notes.begin(), r.notes.end());
  return r.converted ? 0 : 1;
}

}  // namespace kirato

#endif  // KIRATO_TESTS_CONVERT_HELPERS_H_
