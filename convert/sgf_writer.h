// The one way SGF text is made: a GameModel in, FF[4] text out, each value
// escaped as it is written. Whatever format the record came in, its SGF is
// laid out alike.
#ifndef KIRATO_CONVERT_SGF_WRITER_H_
#define KIRATO_CONVERT_SGF_WRITER_H_

#include <string>
#include <string_view>

#include "convert/game_model.h"

namespace kirato {

// Appends the whole game: the root node with its properties, one line each,
// then the nodes, then ")\n". The notes of a move number stand on every
// node of that number, and those of move 0 on every node with stones
// added, so a small record can ask for gigabytes: false, with *err saying
// why, when the SGF would pass `most` bytes.
bool WriteSgf(const GameModel& game, size_t most, std::string* out,
              std::string* err);

// Appends what a game cut short by a fault leaves: the root node opened
// with its properties, never closed, so that it cannot pass for a game.
void WriteSgfStart(const GameModel& game, std::string* out);

// Appends `text` with a backslash before each ':', ']' and '\'. Bytes are
// treated one at a time, with no regard for multi-byte encodings: in UTF-8
// no escaped byte is ever part of a longer character.
void AppendEscapedSgfText(std::string& out, std::string_view text);
std::string EscapeSgfText(std::string_view text);

}  // namespace kirato

#endif  // KIRATO_CONVERT_SGF_WRITER_H_
