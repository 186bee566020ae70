// Records of the Korean and Chinese servers' clients: GIB and NGF. Neither
// format has escapes or a charset field; both say little more than who
// played, when, on what terms, and the moves. A reader turns one record's
// text (already UTF-8, or raw bytes kept as they are) into the game model.
#ifndef KIRATO_CONVERT_SERVER_RECORD_H_
#define KIRATO_CONVERT_SERVER_RECORD_H_

#include <string>
#include <string_view>
#include <vector>

#include "convert/conversion.h"
#include "convert/game_model.h"

namespace kirato {

// What a record holds that could not be placed: the first such line and
// how many there were, for the one message that names them.
struct LeftOut {
  int line = 0;
  std::string text;
  int count = 0;
  void Add(int number, std::string_view lineText) {
    if (count++ == 0) {
      line = number;
      text.assign(lineText);
    }
  }
};

// A record as it is read: the model it fills and what is left out.
struct ServerReader {
  GameModel* game;
  LeftOut* leftOut;
  int boardSize = 19;
  int played = 0;  // moves and passes so far

  // A root property; none for an empty value.
  void AddRoot(std::string_view ident, std::string value) {
    if (!value.empty()) game->root.push_back({ident, std::move(value)});
  }
};

// Reads the GIB or NGF record (as the conversion's options say) into *game,
// its text decoded from the charset the record was written in. False, with
// *err the message that says so, when the record is none of that format.
bool ReadServerRecord(Conversion& c, std::string_view record,
                      std::string_view gameName, GameModel* game,
                      std::string* err);

// Reads a GIB record into *game: its root properties, the handicap stones
// as stones added before the first move, the moves. False when the text is
// no GIB record at all.
bool ReadGib(std::string_view text, GameModel* game, LeftOut* leftOut);

// Reads an NGF record, either variant. False when the text is no NGF record.
bool ReadNgf(std::string_view text, GameModel* game, LeftOut* leftOut);

// Decodes the bytes of a record of these clients that are not UTF-8:
// `hint` is what the record says of its client's edition ("Korea",
// "China", ...; empty when nothing), else the text itself decides between
// CP949 and GB18030 by which of them reads as the common words of its
// language. *charset names the one taken, *firstInvalid the offset of the
// first byte that is no character in it. False when neither can be
// decoded here.
bool DecodeServerRecord(std::string_view bytes, std::string_view hint,
                        std::string* text, std::string_view* charset,
                        size_t* firstInvalid);

// The edition a GIB header names (its GIBOKIND value), or empty.
std::string_view GibEdition(std::string_view bytes);

// --- field rules both readers share ---

// A whole number between blanks and nothing else, or -1.
long long WholeNumber(std::string_view text);

// "15K" -> "15k", "3D" -> "3d", "9DP" -> "9p", "1급" -> "1k", "2段" -> "2d",
// "7D*" -> "7d?"; empty for anything that is no rank.
std::string ShortRank(std::string_view rank);

// The first three numbers of a date in any form ("2016- 3-26-17-29-25",
// "2012年11月22日 下午 6:3", "20170316 [09:37]", "2006-9-5") as
// "YYYY-MM-DD"; empty when they make no date.
std::string DateOf(std::string_view text);

// A count of tenths as an SGF number: 65 -> "6.5", 110 -> "11", -5 -> "-0.5".
std::string Tenths(long long tenths);

// The handicap stones of `count` on a board of `size`, in the order these
// clients place them (the third stone top left), as SGF points. Empty when
// the board has no such star points.
std::vector<std::string> HandicapPoints(int size, int count);

}  // namespace kirato

#endif  // KIRATO_CONVERT_SERVER_RECORD_H_
