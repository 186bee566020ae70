// The "[Header]" section: each key=value line becomes zero, one or two SGF
// root properties, kept in the game state in the order they were first met
// and written when the whole record has been read.
//
// Every scan below is bounded by the value's size: a header line may stop
// anywhere (a truncated file, a 1023-byte piece of a longer line), and no
// value may reach past it or break the SGF structure around it.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "convert/game.h"
#include "convert/text.h"

namespace kirato {

namespace {

constexpr size_t kNone = std::string_view::npos;

// What a rule gets to see of one header line.
struct HeaderLine {
  std::string_view line;      // the whole working line, key included
  std::string_view value;     // after the first '=', leading whitespace skipped
  std::string_view property;  // the SGF property of a free-text key
};

using Rule = int (*)(Conversion& c, const HeaderLine& h, std::string& out);

// The value starts after the first '='; a line without one has none.
std::string_view ValueOf(std::string_view line) {
  const size_t eq = line.find('=');
  if (eq == kNone) return {};
  std::string_view value = line.substr(eq + 1);
  value.remove_prefix(SkipSpace(value, 0));
  return value;
}

bool IsAt(std::string_view v, size_t pos, char c) {
  return pos < v.size() && v[pos] == c;
}

// Appends the run of digits at `pos` and returns the index after it.
size_t CopyDigits(std::string_view v, size_t pos, std::string& out) {
  while (DigitAt(v, pos)) out += v[pos++];
  return pos;
}

void AppendProperty(std::string& out, std::string_view name,
                    std::string_view number) {
  out.append(name).append("[").append(number).append("]\n");
}

int Ignore(Conversion&, const HeaderLine&, std::string&) { return 0; }

// Leading commas and blanks are padding some writers put before the text;
// commas inside the text belong to it.
int WriteFreeText(Conversion&, const HeaderLine& h, std::string& out) {
  size_t pos = 0;
  while (pos < h.value.size() && (h.value[pos] == ',' || IsSpace(h.value[pos])))
    ++pos;
  if (pos == h.value.size()) return 0;
  out.append(h.property).append("[");
  AppendEscapedSgfText(out, h.value.substr(pos));
  out += "]\n";
  return 0;
}

// Up to `most` digits at `pos` onto `date`.
void TakeDigits(std::string_view v, size_t& pos, size_t most,
                std::string& date) {
  for (size_t taken = 0; taken < most && DigitAt(v, pos); ++taken) {
    date += v[pos++];
  }
}

// Reads yyyy?mm?dd at `pos` as "yyyy-mm-dd", the separators being any
// character at all. True only for a complete date; a value that ends where a
// separator is due gives none. `pos` is left after what was read.
bool ReadDate(std::string_view v, size_t& pos, std::string& date) {
  date.clear();
  TakeDigits(v, pos, 4, date);
  for (int part = 0; part < 2; ++part) {
    if (pos >= v.size()) return false;
    ++pos;
    date += '-';
    TakeDigits(v, pos, 2, date);
  }
  return date.size() == 10;  // every digit group was full
}

// The second date sits after the second comma behind the first date, as in
// "2006-01-15,10:00,2006-01-16" (date, time, end date).
size_t SecondDateStart(std::string_view v, size_t pos) {
  pos = v.find(',', pos);
  if (pos == kNone) return kNone;
  pos = v.find(',', pos + 1);
  if (pos == kNone) return kNone;
  while (pos < v.size() && !IsDigit(v[pos])) ++pos;
  return pos < v.size() ? pos : kNone;
}

int WriteDate(Conversion&, const HeaderLine& h, std::string& out) {
  const std::string_view v = h.value;
  size_t pos = 0;
  std::string first;
  if (!ReadDate(v, pos, first)) return 0;
  out += "DT[" + first;
  size_t next = SecondDateStart(v, pos);
  std::string second;
  if (next != kNone && ReadDate(v, next, second) && second != first) {
    out += "," + second;
  }
  out += "]\n";
  return 0;
}

// "handicap,komi", the komi's decimal mark being '.' or ','. A komi without
// a digit is no number, and KM must hold one.
int WriteHandicapAndKomi(Conversion&, const HeaderLine& h, std::string& out) {
  const std::string_view v = h.value;
  size_t pos = 0;
  if (DigitAt(v, 0)) {
    const long long handicap = ReadNumber(v, 0, &pos);
    if (handicap > 1) AppendProperty(out, "HA", std::to_string(handicap));
  }
  if (!IsAt(v, pos, ',')) {
    pos = v.find(',', pos);
    if (pos == kNone) return 0;
  }
  while (IsAt(v, pos, ',')) ++pos;
  std::string komi;
  if (IsAt(v, pos, '-')) {
    komi += '-';
    ++pos;
  }
  pos = CopyDigits(v, pos, komi);
  if (IsAt(v, pos, ',') || IsAt(v, pos, '.')) {
    komi += '.';
    ++pos;
  }
  CopyDigits(v, pos, komi);
  if (komi.find_first_of("0123456789") != std::string::npos) {
    AppendProperty(out, "KM", komi);
  }
  return 0;
}

bool IsRankLetter(char c) {
  return std::string_view("dDkKpP").find(c) != kNone;
}

// The rank after the name: digits, then either a rank letter with an
// optional mark of uncertainty ("5dan?" -> "5d?"), or free words ("4 dan").
void WriteRank(char colour, std::string_view v, size_t pos, std::string& out) {
  out += colour;
  out += "R[";
  pos = CopyDigits(v, pos, out);
  if (pos < v.size()) {
    if (IsRankLetter(v[pos])) {
      out += ToLower(v[pos]);
      const size_t mark = v.find_first_of(",+?*", pos + 1);
      if (mark != kNone && v[mark] != ',') out += v[mark];
    } else {
      // Escaped like any other text, so that a rank such as "4 da]n"
      // cannot close the property early.
      const size_t comma = v.find(',', pos);
      AppendEscapedSgfText(out, v.substr(pos, comma == kNone ? kNone
                                                             : comma - pos));
    }
  }
  out += "]\n";
}

// A rank that is no number of kyu or dan: a title ("Gosei", "Meijin") or a
// rank in the record's own script ("七段"), written as it stands.
void WriteRankText(char colour, std::string_view v, size_t pos,
                   std::string& out) {
  const size_t comma = v.find(',', pos);
  const std::string_view rank =
      TrimTrailingSpace(v.substr(pos, comma == kNone ? kNone : comma - pos));
  if (rank.empty()) return;
  out += colour;
  out += "R[";
  AppendEscapedSgfText(out, rank);
  out += "]\n";
}

// The colour of a "Player" line: the letter after "Player", B or W in
// either case; 0 for anything else, which is no player line. Another letter
// would make a property of another meaning (PlayerC: PC, the place, and CR,
// circle marks).
char PlayerColour(std::string_view line) {
  constexpr size_t kColourAt = 6;
  if (line.size() <= kColourAt) return 0;
  const char colour = ToUpper(line[kColourAt]);
  return colour == 'B' || colour == 'W' ? colour : 0;
}

// "PlayerB=name,rank".
int WritePlayer(Conversion&, const HeaderLine& h, std::string& out) {
  const char colour = PlayerColour(h.line);
  if (colour == 0) return 0;
  const std::string_view v = h.value;
  if (IsAt(v, 0, ',')) return 0;

  const size_t comma = v.find(',');
  out += 'P';
  out += colour;
  out += '[';
  for (char c : v.substr(0, comma)) out.append(EscapeSgfChar(c));
  out += "]\n";
  if (comma == kNone) return 0;

  const size_t pos = SkipSpace(v, comma + 1);
  if (DigitAt(v, pos)) {
    WriteRank(colour, v, pos, out);
  } else {
    WriteRankText(colour, v, pos, out);
  }
  return 0;
}

struct RuleSet {
  std::string_view prefix;  // compared case-insensitively over its length
  std::string_view property;
};

constexpr RuleSet kRuleSets[] = {
    {"JPN", "RU[Japanese]\n"},
    {"CH", "RU[Chinese]\n"},
    {"AR", "RU[Other]\n"},
    {"N", "RU[PairGo]\n"},
};

int WriteRuleSet(Conversion&, const HeaderLine& h, std::string& out) {
  for (const RuleSet& r : kRuleSets) {
    if (StartsWithNoCase(h.value, r.prefix)) {
      out += r.property;
      break;
    }
  }
  return 0;
}

// "...;minutes": TM holds seconds. The product is taken in 64 bits, so the
// largest number ReadNumber gives still fits.
int WriteTimeLimit(Conversion&, const HeaderLine& h, std::string& out) {
  const std::string_view v = h.value;
  const size_t semicolon = v.find(';');
  if (semicolon == kNone) return 0;
  const size_t pos = semicolon + 1;
  if (!DigitAt(v, pos) || v[pos] == '0') return 0;
  const long long seconds = ReadNumber(v, pos) * 60LL;
  AppendProperty(out, "TM", std::to_string(seconds));
  return 0;
}

// Moves and labels are placed on a board of this size, so a size the SGF
// letters cannot address ends the game.
int WriteBoardSize(Conversion& c, const HeaderLine& h, std::string& out) {
  if (!DigitAt(h.value, 0)) return 0;
  const int size = static_cast<int>(ReadNumber(h.value, 0));
  c.game.boardSize = size;
  if (size < 2 || size > 26) {
    return FailConversion(c, "Illegal board size: " + std::to_string(size));
  }
  AppendProperty(out, "SZ", std::to_string(size));
  return 0;
}

// "B,C" and "W,C" are wins by resignation; otherwise the margin follows,
// its decimal mark '.' or ',', or a "T" for a win on time.
void WriteWin(char winner, std::string_view v, std::string& out) {
  out += "RE[";
  out += winner;
  out += '+';
  size_t pos = 1;
  while (IsAt(v, pos, ',')) ++pos;
  if (IsAt(v, pos, 'C') || IsAt(v, pos, 'c')) {
    out += "R]\n";
    return;
  }
  if (IsAt(v, pos, '+')) ++pos;
  for (; pos < v.size(); ++pos) {
    const char c = v[pos];
    if (IsDigit(c)) {
      out += c;
    } else if (c == '.' || c == ',') {
      out += '.';
    } else {
      break;
    }
  }
  if (IsAt(v, pos, 'T') || IsAt(v, pos, 't')) out += 'T';
  out += "]\n";
}

int WriteResult(Conversion&, const HeaderLine& h, std::string& out) {
  if (h.value.empty()) return 0;
  const char winner = ToUpper(h.value[0]);
  switch (winner) {
    case 'A':
    case 'O':
    case 'E':
      out += "RE[void]\n";
      break;
    case 'D':
      out += "RE[Draw]\n";
      break;
    case 'B':
    case 'W':
      WriteWin(winner, h.value, out);
      break;
    default:
      break;
  }
  return 0;
}

// Coded files are refused, never decoded. Not an error of the run: the file
// is simply one this converter cannot read.
int CheckCoded(Conversion& c, const HeaderLine& h, std::string&) {
  if (h.value.find("PLAIN_UGF") != kNone) return 0;
  // Concatenated, not formatted: the line may hold NUL bytes.
  Message(c, std::string("Coded ugf file: ").append(h.line));
  return 1;
}

// Moves are read the same way for both known coordinate types; any other
// would place them wrongly.
int CheckCoordinateType(Conversion& c, const HeaderLine& h, std::string&) {
  if (StartsWithNoCase(h.value, "IGS") || StartsWithNoCase(h.value, "JPN")) {
    return 0;
  }
  Message(c, "Unknown coordinatetype");
  return 1;
}

// What a key met again does to the properties its earlier lines wrote.
// A property the root has already got would be an error in the node.
enum class Repeat {
  kJoins,     // free text: the new text is one more line of it
  kReplaces,  // the new line's properties take the place of all of them,
              // so no stale HA or BR outlives the line that made it
  kReplacesWhenRead,  // likewise, but an unreadable value changes nothing:
                      // SZ must stay with the board size moves are read on
};

struct HeaderKey {
  std::string_view key;
  size_t compared;  // characters of the line compared, case-insensitively
  Rule rule;
  Repeat repeat;
  std::string_view property;  // for the free-text keys
};

constexpr Repeat kJoins = Repeat::kJoins;
constexpr Repeat kReplaces = Repeat::kReplaces;

// Tried in this order, first match wins: "Commentator" must come before
// "Comment", which would also match it.
constexpr HeaderKey kHeaderKeys[] = {
    {"Code", 4, Ignore, kReplaces, {}},
    {"Commentator", 11, WriteFreeText, kJoins, "AN"},
    {"Comment", 7, WriteFreeText, kJoins, "GC"},
    {"CoordinateType", 14, CheckCoordinateType, kReplaces, {}},
    {"Copyright", 9, WriteFreeText, kJoins, "CP"},
    {"Crypt", 5, CheckCoded, kReplaces, {}},
    {"Date", 4, WriteDate, kReplaces, {}},
    {"Hdcp", 4, WriteHandicapAndKomi, kReplaces, {}},
    {"Lang", 4, Ignore, kReplaces, {}},
    {"Moves", 5, Ignore, kReplaces, {}},
    {"Place", 5, WriteFreeText, kJoins, "PC"},
    {"Player", 6, WritePlayer, kReplaces, {}},
    {"Rule", 4, WriteRuleSet, kReplaces, {}},
    {"Ptime", 5, WriteTimeLimit, kReplaces, {}},
    {"Size", 4, WriteBoardSize, Repeat::kReplacesWhenRead, {}},
    {"Title", 5, WriteFreeText, kJoins, "EV"},
    {"Ver", 3, Ignore, kReplaces, {}},
    {"Winner", 6, WriteResult, kReplaces, {}},
    {"Writer", 6, WriteFreeText, kJoins, "US"},
};

// The "IDENT[value]\n" properties a rule wrote, marked with their source.
std::vector<RootProperty> SplitProperties(std::string_view written,
                                          int source) {
  std::vector<RootProperty> made;
  size_t pos = 0;
  while (pos < written.size()) {
    const size_t open = written.find('[', pos);
    if (open == kNone) break;
    size_t close = open + 1;
    while (close < written.size() && written[close] != ']') {
      close += written[close] == '\\' ? 2 : 1;
    }
    made.push_back({std::string(written.substr(pos, open - pos)),
                    std::string(written.substr(open + 1, close - open - 1)),
                    source});
    pos = close + 2;  // past "]\n"
  }
  return made;
}

// Takes what one line wrote into the root; every property keeps the place
// where it was first met.
void MergeIntoRoot(GameState& game, std::string_view written, int source,
                   Repeat repeat) {
  std::vector<RootProperty> made = SplitProperties(written, source);
  if (repeat == Repeat::kReplacesWhenRead && made.empty()) return;
  std::vector<RootProperty>& root = game.root;
  const auto sameIdent = [](const std::string& ident) {
    return [&ident](const RootProperty& p) { return p.ident == ident; };
  };
  if (repeat != Repeat::kJoins) {
    std::erase_if(root, [&](const RootProperty& p) {
      return p.source == source &&
             std::none_of(made.begin(), made.end(), sameIdent(p.ident));
    });
  }
  for (RootProperty& p : made) {
    const auto same =
        std::find_if(root.begin(), root.end(), sameIdent(p.ident));
    if (same == root.end()) {
      root.push_back(std::move(p));
    } else if (repeat == Repeat::kJoins) {
      same->value.append("\n").append(p.value);
    } else {
      same->value = std::move(p.value);
    }
  }
}

// Which key a line is, for telling a repeated key: PlayerB and PlayerW are
// two keys of one table entry. -1 for a Player line of another letter,
// which is no key at all and replaces nothing.
int SourceOf(const HeaderKey& k, std::string_view line) {
  const int entry = static_cast<int>(&k - kHeaderKeys);
  if (k.rule != WritePlayer) return entry * 2;
  const char colour = PlayerColour(line);
  return colour == 0 ? -1 : entry * 2 + (colour == 'W');
}

}  // namespace

void WriteRootProperties(const GameState& game, std::string& out) {
  for (const RootProperty& p : game.root) {
    out.append(p.ident).append("[").append(p.value).append("]\n");
  }
}

int HandleHeaderField(Conversion& c, std::string_view line) {
  if (line.empty()) return 0;
  const std::string_view value = ValueOf(line);
  if (c.options.traceLevel >= 8) {
    Trace(c, "HandleHeaderField: ", line, value);
  }
  for (const HeaderKey& k : kHeaderKeys) {
    if (StartsWithNoCase(line, k.key.substr(0, k.compared))) {
      std::string written;
      const int result =
          k.rule(c, HeaderLine{line, value, k.property}, written);
      const int source = SourceOf(k, line);
      if (source >= 0) MergeIntoRoot(c.game, written, source, k.repeat);
      return result;
    }
  }
  Message(c, std::string("Unknown field: ").append(line));
  return 0;
}

}  // namespace kirato
