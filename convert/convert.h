// The conversion engine as its callers see it: one game record's bytes in,
// its SGF text and what the conversion has to say out. Nothing else of the
// engine is meant for the layers above it.
#ifndef KIRATO_CONVERT_CONVERT_H_
#define KIRATO_CONVERT_CONVERT_H_

#include <string>
#include <string_view>
#include <vector>

namespace kirato {

// What becomes of a record's text bytes.
enum class CharsetMode {
  kDecode,  // decoded from the record's charset; the SGF is UTF-8
  kKeep,    // copied as they are, for readers that rely on the raw bytes
};

// The record formats read here: UGF (.ugf, .ugi), and GIB (.gib) and NGF
// (.ngf) of the Korean and Chinese servers' clients.
enum class RecordFormat : unsigned char { kUgf, kGib, kNgf };

// The format a file's name says by its extension, in any letter case.
// False for a name of no record format.
bool RecordFormatOf(std::string_view fileName, RecordFormat* format);

struct ConvertOptions {
  RecordFormat format = RecordFormat::kUgf;
  int traceLevel = 0;  // trace lines are made only at this level and above
  CharsetMode charset = CharsetMode::kDecode;
  // The record's path as the user named it, for messages about it.
  std::string_view recordPath;
};

// What a line a run produces is, so that no reader has to tell it by its
// text: a record converted or not, a problem, a line of the summary or of
// the trace log.
enum class NoteKind : unsigned char { kConverted, kFailed, kProblem, kInfo, kTrace };

struct Note {
  NoteKind kind = NoteKind::kProblem;
  std::string text;
};

struct GameResult {
  bool converted = false;  // the SGF text is a whole game
  // Not converted because the record is of a kind that is not converted
  // (coded, of another coordinate type, not of its format at all), rather
  // than damaged.
  bool refused = false;
  std::string sgf;         // when not converted, only its unfinished start
  std::vector<Note> notes;  // problems and trace lines, in the order made
};

// Converts one record held in memory, naming the game `gameName` (the
// output file's name). Never throws. Returns result->converted. A caller
// that converts many records may pass the same result each time: the room
// of its text is used again.
bool ConvertGame(std::string_view record, std::string_view gameName,
                 const ConvertOptions& options, GameResult* result);

}  // namespace kirato

#endif  // KIRATO_CONVERT_CONVERT_H_
