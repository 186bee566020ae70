// The "[Header]" section: each key=value line gives zero, one or two root
// properties, kept in the order they were first met.
//
// Every scan below is bounded by the value's size: a header line may stop
// anywhere (a truncated file, a 1023-byte piece of a longer line).
#include <algorithm>
#include <string>
#include <string_view>

#include "convert/text.h"
#include "convert/ugf.h"

namespace kirato {

namespace {

constexpr size_t kNone = std::string_view::npos;

// What a rule gets to see of one header line.
struct HeaderLine {
  std::string_view line;   // the whole working line, key included
  std::string_view value;  // after the first '=', leading whitespace skipped
  std::string_view ident;  // the SGF property of a free-text key
};

// The properties one line gives; no key gives more than two.
struct Made {
  struct Property {
    std::string_view ident;
    std::string value;
  };
  Property list[2];
  int count = 0;

  std::string& Add(std::string_view ident) {
    Property& p = list[count++];
    p.ident = ident;
    return p.value;
  }
};

using Rule = bool (*)(UgfReader& r, const HeaderLine& h, Made* made,
                      std::string* err);

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

// The run of digits at `pos`; `pos` is left after it.
std::string_view TakeDigits(std::string_view v, size_t& pos) {
  const size_t from = pos;
  while (DigitAt(v, pos)) ++pos;
  return v.substr(from, pos - from);
}

// The text from `pos` up to the first `stop` or the end.
std::string_view UpTo(std::string_view v, size_t pos, char stop) {
  const size_t end = v.find(stop, pos);
  return v.substr(pos, end == kNone ? kNone : end - pos);
}

bool Ignore(UgfReader&, const HeaderLine&, Made*, std::string*) { return true; }

// Leading commas and blanks are padding some writers put before the text;
// commas inside the text belong to it.
bool ReadFreeText(UgfReader&, const HeaderLine& h, Made* made, std::string*) {
  size_t pos = 0;
  while (pos < h.value.size() && (h.value[pos] == ',' || IsSpace(h.value[pos])))
    ++pos;
  if (pos < h.value.size()) made->Add(h.ident) = h.value.substr(pos);
  return true;
}

// Up to `most` digits at `pos` onto `date`.
void TakeDateDigits(std::string_view v, size_t& pos, size_t most,
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
  TakeDateDigits(v, pos, 4, date);
  for (int part = 0; part < 2; ++part) {
    if (pos >= v.size()) return false;
    ++pos;
    date += '-';
    TakeDateDigits(v, pos, 2, date);
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

bool ReadDateKey(UgfReader&, const HeaderLine& h, Made* made, std::string*) {
  const std::string_view v = h.value;
  size_t pos = 0;
  std::string first;
  if (!ReadDate(v, pos, first)) return true;
  std::string& dates = made->Add("DT");
  dates = first;
  size_t next = SecondDateStart(v, pos);
  std::string second;
  if (next != kNone && ReadDate(v, next, second) && second != first) {
    dates.append(",").append(second);
  }
  return true;
}

// The komi as an SGF number: "5." is 5, ".5" is 0.5; the decimal mark may
// be ',' as well as '.'. A komi without a digit is no number at all.
void ReadKomi(std::string_view v, size_t pos, Made* made) {
  const bool negative = IsAt(v, pos, '-');
  if (negative) ++pos;
  const std::string_view whole = TakeDigits(v, pos);
  std::string_view fraction;
  if (IsAt(v, pos, ',') || IsAt(v, pos, '.')) {
    ++pos;
    fraction = TakeDigits(v, pos);
  }
  if (whole.empty() && fraction.empty()) return;
  std::string& komi = made->Add("KM");
  if (negative) komi += '-';
  komi.append(whole.empty() ? std::string_view("0") : whole);
  if (!fraction.empty()) komi.append(".").append(fraction);
}

// "handicap,komi". Handicaps of 0 and 1 are even games: no HA.
bool ReadHandicapAndKomi(UgfReader&, const HeaderLine& h, Made* made,
                         std::string*) {
  const std::string_view v = h.value;
  size_t pos = 0;
  if (DigitAt(v, 0)) {
    const long long handicap = ReadNumber(v, 0, &pos);
    if (handicap > 1) made->Add("HA") = std::to_string(handicap);
  }
  if (!IsAt(v, pos, ',')) {
    pos = v.find(',', pos);
    if (pos == kNone) return true;
  }
  while (IsAt(v, pos, ',')) ++pos;
  ReadKomi(v, pos, made);
  return true;
}

bool IsRankLetter(char c) {
  return std::string_view("dDkKpP").find(c) != kNone;
}

// The rank after the name: digits, then either a rank letter with an
// optional mark of uncertainty ("5dan?" -> "5d?"), or free words ("4 dan").
void ReadRank(std::string_view ident, std::string_view v, size_t pos,
              Made* made) {
  std::string& rank = made->Add(ident);
  rank = TakeDigits(v, pos);
  if (pos >= v.size()) return;
  if (IsRankLetter(v[pos])) {
    rank += ToLower(v[pos]);
    const size_t mark = v.find_first_of(",+?*", pos + 1);
    if (mark != kNone && v[mark] != ',') rank += v[mark];
  } else {
    rank += UpTo(v, pos, ',');
  }
}

// A rank that is no number of kyu or dan: a title ("Gosei", "Meijin") or a
// rank in the record's own script ("七段"), kept as it stands.
void ReadRankText(std::string_view ident, std::string_view v, size_t pos,
                  Made* made) {
  const std::string_view rank = TrimTrailingSpace(UpTo(v, pos, ','));
  if (!rank.empty()) made->Add(ident) = rank;
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
bool ReadPlayer(UgfReader&, const HeaderLine& h, Made* made, std::string*) {
  const char colour = PlayerColour(h.line);
  if (colour == 0) return true;
  const std::string_view v = h.value;
  if (IsAt(v, 0, ',')) return true;
  const bool black = colour == 'B';
  const size_t comma = v.find(',');
  made->Add(black ? "PB" : "PW") = v.substr(0, comma);
  if (comma == kNone) return true;

  const std::string_view rank = black ? "BR" : "WR";
  const size_t pos = SkipSpace(v, comma + 1);
  if (DigitAt(v, pos)) {
    ReadRank(rank, v, pos, made);
  } else {
    ReadRankText(rank, v, pos, made);
  }
  return true;
}

struct RuleSet {
  std::string_view prefix;  // compared case-insensitively over its length
  std::string_view name;
};

constexpr RuleSet kRuleSets[] = {
    {"JPN", "Japanese"},
    {"CH", "Chinese"},
    {"AR", "Other"},
    {"N", "PairGo"},
};

bool ReadRuleSet(UgfReader&, const HeaderLine& h, Made* made, std::string*) {
  for (const RuleSet& r : kRuleSets) {
    if (StartsWithNoCase(h.value, r.prefix)) {
      made->Add("RU") = r.name;
      break;
    }
  }
  return true;
}

// "...;minutes": TM holds seconds. The product is taken in 64 bits, so the
// largest number ReadNumber gives still fits.
bool ReadTimeLimit(UgfReader&, const HeaderLine& h, Made* made, std::string*) {
  const std::string_view v = h.value;
  const size_t semicolon = v.find(';');
  if (semicolon == kNone) return true;
  const size_t pos = semicolon + 1;
  if (!DigitAt(v, pos) || v[pos] == '0') return true;
  made->Add("TM") = std::to_string(ReadNumber(v, pos) * 60LL);
  return true;
}

// Moves and labels are placed on a board of this size, so a size the SGF
// letters cannot address ends the game.
bool ReadBoardSize(UgfReader& r, const HeaderLine& h, Made* made,
                   std::string* err) {
  if (!DigitAt(h.value, 0)) return true;
  const int size = static_cast<int>(ReadNumber(h.value, 0));
  r.boardSize = size;
  if (size < 2 || size > 26) {
    *err = "Illegal board size: " + std::to_string(size);
    return false;
  }
  made->Add("SZ") = std::to_string(size);
  return true;
}

// "B,C" and "W,C" are wins by resignation; otherwise the margin follows,
// its decimal mark '.' or ',', or a "T" for a win on time.
void ReadWin(char winner, std::string_view v, Made* made) {
  std::string& result = made->Add("RE");
  result += winner;
  result += '+';
  size_t pos = 1;
  while (IsAt(v, pos, ',')) ++pos;
  if (IsAt(v, pos, 'C') || IsAt(v, pos, 'c')) {
    result += 'R';
    return;
  }
  if (IsAt(v, pos, '+')) ++pos;
  for (; pos < v.size(); ++pos) {
    const char c = v[pos];
    if (IsDigit(c)) {
      result += c;
    } else if (c == '.' || c == ',') {
      result += '.';
    } else {
      break;
    }
  }
  if (IsAt(v, pos, 'T') || IsAt(v, pos, 't')) result += 'T';
}

bool ReadResult(UgfReader&, const HeaderLine& h, Made* made, std::string*) {
  if (h.value.empty()) return true;
  const char winner = ToUpper(h.value[0]);
  switch (winner) {
    case 'A':
    case 'O':
    case 'E':
      made->Add("RE") = "void";
      break;
    case 'D':
      made->Add("RE") = "Draw";
      break;
    case 'B':
    case 'W':
      ReadWin(winner, h.value, made);
      break;
    default:
      break;
  }
  return true;
}

// Coded files are refused, never decoded.
bool CheckCoded(UgfReader& r, const HeaderLine& h, Made*, std::string* err) {
  if (h.value.find("PLAIN_UGF") != kNone) return true;
  r.c.refused = true;
  // Concatenated, not formatted: the line may hold NUL bytes.
  *err = std::string("Coded ugf file: ").append(h.line);
  return false;
}

// Moves are read the same way for both known coordinate types; any other
// would place them wrongly.
bool CheckCoordinateType(UgfReader& r, const HeaderLine& h, Made*,
                         std::string* err) {
  if (StartsWithNoCase(h.value, "IGS") || StartsWithNoCase(h.value, "JPN")) {
    return true;
  }
  r.c.refused = true;
  *err = "Unknown coordinatetype";
  return false;
}

// What a key met again does to the properties its earlier lines gave.
// A property the root has already got would be an error in the node.
enum class Repeat {
  kJoins,     // free text: the new text is one more line of it
  kReplaces,  // the new line's properties take the place of all of them,
              // so no stale HA or BR outlives the line that made it
  kReplacesWhenRead,  // likewise, but an unreadable value changes nothing:
                      // SZ must stay with the board size moves are read on
};

struct HeaderKey {
  std::string_view key;  // compared case-insensitively, as a prefix
  Rule rule;
  Repeat repeat;
  std::string_view ident;  // for the free-text keys
};

constexpr Repeat kJoins = Repeat::kJoins;
constexpr Repeat kReplaces = Repeat::kReplaces;

// Tried in this order, first match wins: "Commentator" must come before
// "Comment", which would also match it.
constexpr HeaderKey kHeaderKeys[] = {
    {"Code", Ignore, kReplaces, {}},
    {"Commentator", ReadFreeText, kJoins, "AN"},
    {"Comment", ReadFreeText, kJoins, "GC"},
    {"CoordinateType", CheckCoordinateType, kReplaces, {}},
    {"Copyright", ReadFreeText, kJoins, "CP"},
    {"Crypt", CheckCoded, kReplaces, {}},
    {"Date", ReadDateKey, kReplaces, {}},
    {"Hdcp", ReadHandicapAndKomi, kReplaces, {}},
    {"Lang", Ignore, kReplaces, {}},
    {"Moves", Ignore, kReplaces, {}},
    {"Place", ReadFreeText, kJoins, "PC"},
    {"Player", ReadPlayer, kReplaces, {}},
    {"Rule", ReadRuleSet, kReplaces, {}},
    {"Ptime", ReadTimeLimit, kReplaces, {}},
    {"Size", ReadBoardSize, Repeat::kReplacesWhenRead, {}},
    {"Title", ReadFreeText, kJoins, "EV"},
    {"Ver", Ignore, kReplaces, {}},
    {"Winner", ReadResult, kReplaces, {}},
    {"Writer", ReadFreeText, kJoins, "US"},
};

// Identifiers are a byte or two: compared here rather than by a call to
// the library.
bool SameIdent(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// Takes what one line gave into the root; every property keeps the place
// where it was first met.
void MergeIntoRoot(GameModel& game, Made& made, int source, Repeat repeat) {
  if (repeat == Repeat::kReplacesWhenRead && made.count == 0) return;
  std::vector<RootProperty>& root = game.root;
  const Made::Property* const first = made.list;
  const Made::Property* const last = made.list + made.count;
  if (repeat != Repeat::kJoins) {
    std::erase_if(root, [&](const RootProperty& p) {
      return p.tag == source &&
             std::none_of(first, last, [&](const Made::Property& m) {
               return SameIdent(m.ident, p.ident);
             });
    });
  }
  for (Made::Property* m = made.list; m != made.list + made.count; ++m) {
    const auto same = std::find_if(
        root.begin(), root.end(),
        [&](const RootProperty& p) { return SameIdent(p.ident, m->ident); });
    if (same == root.end()) {
      root.push_back({m->ident, std::move(m->value), source});
    } else if (repeat == Repeat::kJoins) {
      same->value.append("\n").append(m->value);
    } else {
      same->value = std::move(m->value);
    }
  }
}

// Which key a line is, for telling a repeated key: PlayerB and PlayerW are
// two keys of one table entry. -1 for a Player line of another letter,
// which is no key at all and replaces nothing.
int SourceOf(const HeaderKey& k, std::string_view line) {
  const int entry = static_cast<int>(&k - kHeaderKeys);
  if (k.rule != ReadPlayer) return entry * 2;
  const char colour = PlayerColour(line);
  return colour == 0 ? -1 : entry * 2 + (colour == 'W');
}

}  // namespace

bool ReadHeaderLine(UgfReader& r, std::string_view line, std::string* err) {
  if (line.empty()) return true;
  const std::string_view value = ValueOf(line);
  if (r.c.options.traceLevel >= 8) {
    Trace(r.c, "HandleHeaderField: ", line, value);
  }
  const char first = ToUpper(line.front());
  for (const HeaderKey& k : kHeaderKeys) {
    // The first letter rules out all keys but a few.
    if (k.key.front() == first && StartsWithNoCase(line, k.key)) {
      Made made;
      const bool goOn = k.rule(r, HeaderLine{line, value, k.ident}, &made, err);
      const int source = SourceOf(k, line);
      if (source >= 0) MergeIntoRoot(r.game, made, source, k.repeat);
      return goOn;
    }
  }
  Message(r.c, std::string("Unknown field: ").append(line));
  return true;
}

}  // namespace kirato
