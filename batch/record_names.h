// Which file names are game records, and which of them a run converts. The
// list of the formats kirato reads is the engine's (RecordFormatOf): the
// walk takes its candidates from it, and a single conversion refuses to
// write its SGF over a file named like a record.
#ifndef KIRATO_BATCH_RECORD_NAMES_H_
#define KIRATO_BATCH_RECORD_NAMES_H_

#include <string>
#include <string_view>

#include "batch/path.h"
#include "convert/convert.h"

namespace kirato {

// A set of record formats, one bit each.
using FormatSet = unsigned;
constexpr FormatSet FormatBit(RecordFormat f) {
  return 1u << static_cast<unsigned>(f);
}
// What a run converts unless told otherwise: every datafile written before
// kirato read other formats expects UGF records alone.
constexpr FormatSet kDefaultFormats = FormatBit(RecordFormat::kUgf);

// Reads a FORMATS value: names separated by commas ("UGF,GIB", any letter
// case, blanks allowed around them), or ALL. False for anything else.
bool ReadFormatSet(std::string_view value, FormatSet* formats);

// The SGF file name for a record the walk converts: a name whose extension
// names a format of `formats`, in any letter case, with the extension made
// ".sgf" and the stem kept as written; *format receives the record's
// format. Empty for any other name.
std::string OutputNameFor(std::string_view name, FormatSet formats,
                          RecordFormat* format);

// The same without making the name: true for a name OutputNameFor takes,
// with *stem the length of the part of it the SGF file is named after.
bool RecordStemOf(std::string_view name, FormatSet formats,
                  RecordFormat* format, size_t* stem);

// True when the file that `path` names ends like a record of any format in
// any letter case: writing an SGF file there would destroy a game. Where
// the rules drop trailing dots and blanks from names (Windows), they are
// dropped here too, as "game.ugf." is "game.ugf" there.
bool IsNamedLikeRecord(const PathRules& rules, std::string_view path);

}  // namespace kirato

#endif  // KIRATO_BATCH_RECORD_NAMES_H_
