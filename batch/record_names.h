// Which file names are game records. The list of the formats kirato reads
// is kept here alone: the walk takes its candidates from it, and a single
// conversion refuses to write its SGF over a file named like a record.
#ifndef KIRATO_BATCH_RECORD_NAMES_H_
#define KIRATO_BATCH_RECORD_NAMES_H_

#include <string>
#include <string_view>

#include "batch/path.h"

namespace kirato {

// The endings of the records kirato reads, in lower case.
inline constexpr std::string_view kRecordExtensions[] = {".ugf", ".ugi"};

// The SGF file name for a record the walk converts: a name whose part from
// its last '.' is exactly one of kRecordExtensions (letter case counts),
// with that part made ".sgf". Empty for any other name.
std::string OutputNameFor(std::string_view name);

// True when the file that `path` names ends like a record in any letter
// case: writing an SGF file there would destroy a game. Where the rules
// drop trailing dots and blanks from names (Windows), they are dropped
// here too, as "game.ugf." is "game.ugf" there.
bool IsNamedLikeRecord(const PathRules& rules, std::string_view path);

}  // namespace kirato

#endif  // KIRATO_BATCH_RECORD_NAMES_H_
