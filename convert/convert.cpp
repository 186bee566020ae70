// One record's conversion, step by step: its text prepared, read into the
// game model, the model written as SGF.
#include "convert/convert.h"

#include <new>

#include "convert/conversion.h"
#include "convert/game_model.h"
#include "convert/record_text.h"
#include "convert/server_record.h"
#include "convert/sgf_writer.h"
#include "convert/ugf.h"

namespace kirato {

namespace {

// The SGF of a game is about as long as its record: escaping at most
// doubles its text, and the moves are few. Only notes written again and
// again pass this, which no game needs and which must not exhaust the
// memory.
size_t MostSgfBytes(std::string_view record) {
  return 4 * record.size() + (size_t{64} << 20);
}

bool Convert(Conversion& c, std::string_view record, std::string_view gameName,
             std::string* out) {
  if (c.options.traceLevel >= 4) Trace(c, "ConvertGame");
  GameModel game;
  game.decoded = c.options.charset == CharsetMode::kDecode;
  // The SGF is about as long as the record: room made once saves growing
  // step by step.
  out->reserve(record.size() + 512);
  std::string err;
  // The model's text views point into the prepared text.
  RecordText text;
  bool read = false;
  if (c.options.format == RecordFormat::kUgf) {
    PrepareRecordText(c, record, gameName, &text);
    game.gameName = std::move(text.gameName);
    read = ReadUgf(c, text.text(), &game, &err);
  } else {
    read = ReadServerRecord(c, record, gameName, &game, &err);
  }
  if (!read || !WriteSgf(game, MostSgfBytes(record), out, &err)) {
    Message(c, std::move(err));
    out->clear();
    WriteSgfStart(game, out);
    return false;
  }
  return true;
}

}  // namespace

bool ConvertGame(std::string_view record, std::string_view gameName,
                 const ConvertOptions& options, GameResult* result) {
  GameResult& r = *result;
  // Cleared rather than replaced, so that a caller converting many records
  // into one result reuses its room.
  r.converted = false;
  r.refused = false;
  r.sgf.clear();
  r.notes.clear();
  bool converted = false;
  // This catches what a record too large for the memory left throws, so
  // that no exception leaves the engine.
  try {
    Conversion c(options);
    c.notes.swap(r.notes);
    try {
      converted = Convert(c, record, gameName, &r.sgf);
    } catch (const std::bad_alloc&) {
      Message(c, std::string(kNoMemoryMessage));
    }
    ReportFloods(c);
    r.notes.swap(c.notes);
    r.refused = !converted && c.refused;
  } catch (const std::bad_alloc&) {
    converted = false;
  }
  r.converted = converted;
  return converted;
}

}  // namespace kirato
