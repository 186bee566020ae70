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

// "handicap,komi", the komi's decimal mark being '.' or ','.
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
  if (pos >= v.size()) return 0;
  out += "KM[";
  if (IsAt(v, pos, '-')) {
    out += '-';
    ++pos;
  }
  pos = CopyDigits(v, pos, out);
  if (IsAt(v, pos, ',') || IsAt(v, pos, '.')) {
    out += '.';
    ++pos;
  }
  CopyDigits(v, pos, out);
  out += "]\n";
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

// "PlayerB=name,rank". The character after "Player" becomes part of the
// property names (PB, BR), so only an ASCII letter may stand there: a ';' or
// '(' would open a new node or game tree. A bare "Player" has no colour.
int WritePlayer(Conversion&, const HeaderLine& h, std::string& out) {
  constexpr size_t kColourAt = 6;
  if (h.line.size() <= kColourAt) return 0;
  const char colour = ToUpper(h.line[kColourAt]);
  if (!IsUpperLetter(colour)) return 0;
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
  if (!DigitAt(v, pos)) return 0;
  WriteRank(colour, v, pos, out);
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

struct HeaderKey {
  std::string_view key;
  size_t compared;  // characters of the line compared, case-insensitively
  Rule rule;
  std::string_view property;  // for the free-text keys
};

// Tried in this order, first match wins: "Commentator" must come before
// "Comment", which would also match it.
constexpr HeaderKey kHeaderKeys[] = {
    {"Code", 4, Ignore, {}},
    {"Commentator", 11, WriteFreeText, "AN"},
    {"Comment", 7, WriteFreeText, "GC"},
    {"CoordinateType", 14, CheckCoordinateType, {}},
    {"Copyright", 9, WriteFreeText, "CP"},
    {"Crypt", 5, CheckCoded, {}},
    {"Date", 4, WriteDate, {}},
    {"Hdcp", 4, WriteHandicapAndKomi, {}},
    {"Lang", 4, Ignore, {}},
    {"Moves", 5, Ignore, {}},
    {"Place", 5, WriteFreeText, "PC"},
    {"Player", 6, WritePlayer, {}},
    {"Rule", 4, WriteRuleSet, {}},
    {"Ptime", 5, WriteTimeLimit, {}},
    {"Size", 4, WriteBoardSize, {}},
    {"Title", 5, WriteFreeText, "EV"},
    {"Ver", 3, Ignore, {}},
    {"Winner", 6, WriteResult, {}},
    {"Writer", 6, WriteFreeText, "US"},
};

// Takes the "IDENT[value]\n" properties a rule wrote into the root. A
// property the root has already got would be an error in the node: a
// repeated free-text key adds a line to its text, any other repeated key
// replaces the value, as the last board size is also the one moves use.
void MergeIntoRoot(GameState& game, std::string_view written, bool joins) {
  size_t pos = 0;
  while (pos < written.size()) {
    const size_t open = written.find('[', pos);
    if (open == kNone) return;
    size_t close = open + 1;
    while (close < written.size() && written[close] != ']') {
      close += written[close] == '\\' ? 2 : 1;
    }
    const std::string_view ident = written.substr(pos, open - pos);
    const std::string_view value = written.substr(open + 1, close - open - 1);
    pos = close + 2;  // past "]\n"

    auto same =
        std::find_if(game.root.begin(), game.root.end(),
                     [&](const RootProperty& p) { return p.ident == ident; });
    if (same == game.root.end()) {
      game.root.push_back({std::string(ident), std::string(value)});
    } else if (joins) {
      same->value.append("\n").append(value);
    } else {
      same->value.assign(value);
    }
  }
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
      MergeIntoRoot(c.game, written, !k.property.empty());
      return result;
    }
  }
  Message(c, std::string("Unknown field: ").append(line));
  return 0;
}

}  // namespace kirato
