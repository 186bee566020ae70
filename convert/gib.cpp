// GIB records: a header of \[KEY=VALUE\] lines between \HS and \HE, then the
// game between \GS and \GE: counters, an INI line with the handicap, and
// one STO line a move.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "convert/server_record.h"
#include "base/ascii.h"
#include "convert/text.h"

namespace kirato {

namespace {

constexpr size_t kNone = std::string_view::npos;

// Keys whose meaning is known. Those that add nothing to what the others
// say (nicknames, level numbers, the move count) are read and not used.
constexpr std::string_view kKnownKeys[] = {
    "GIBOKIND",      "GAMEBLACKNAME",  "GAMEWHITENAME",  "GAMEBLACKNICK",
    "GAMEWHITENICK", "GAMEBLACKLEVEL", "GAMEWHITELEVEL", "GAMEDATE",
    "GAMEPLACE",     "GAMENAME",       "GAMECONDITION",  "GAMETIME",
    "GAMERESULT",    "GAMEZIPSU",      "GAMEDUM",        "GAMEGONGJE",
    "GAMETOTALNUM",  "GAMEINFOMAIN",   "GAMEINFOSUB",    "GAMETAG",
    "GAMECOMMENT",   "GAMELECNAME",
};

struct Line {
  int number;
  std::string_view text;
};

// The next line of `text` from `pos`, without its line feed and a carriage
// return before it; `pos` moves past it.
std::string_view NextLine(std::string_view text, size_t* pos) {
  size_t end = text.find('\n', *pos);
  if (end == kNone) end = text.size();
  std::string_view line = text.substr(*pos, end - *pos);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  *pos = end + 1;
  return line;
}

// The board is always 19x19: the only size these clients write.
struct Reader : ServerReader {
  int handicap = 0;

  void LeaveOut(const Line& line) {
    leftOut->Add(line.number, TrimTrailingSpace(line.text));
  }
  void AddStone(int32_t number, char color, bool pass, char col, char row) {
    game->moves.push_back({number, color, pass, col, row});
  }
};

// Keys and their values as views into the record's text, which outlives
// the reading: a header holds a few dozen, found by a look at each.
class Fields {
 public:
  void Add(std::string_view key, std::string_view value) {
    for (const auto& [k, v] : fields_) {
      if (k == key) return;  // the first of a key holds
    }
    fields_.emplace_back(key, value);
  }
  std::string_view Of(std::string_view key) const {
    for (const auto& [k, v] : fields_) {
      if (k == key) return v;
    }
    return {};
  }

 private:
  std::vector<std::pair<std::string_view, std::string_view>> fields_;
};

// The comma-separated KEY:VALUE pairs of GAMEINFOMAIN, GAMEINFOSUB.
Fields Pairs(std::string_view list) {
  Fields pairs;
  size_t pos = 0;
  while (pos <= list.size()) {
    size_t comma = list.find(',', pos);
    if (comma == kNone) comma = list.size();
    const std::string_view item = list.substr(pos, comma - pos);
    const size_t colon = item.find(':');
    if (colon != kNone) pairs.Add(item.substr(0, colon), item.substr(colon + 1));
    pos = comma + 1;
  }
  return pairs;
}

// GAMETAG: "S1,R3,D5,G65,W3,Z0,T30-3-1200,C2016:03:26:17:29,..."; the
// letter of each field names it.
std::string_view TagField(std::string_view tag, char letter) {
  size_t pos = 0;
  while (pos < tag.size()) {
    size_t comma = tag.find(',', pos);
    if (comma == kNone) comma = tag.size();
    if (tag[pos] == letter) return tag.substr(pos + 1, comma - pos - 1);
    pos = comma + 1;
  }
  return {};
}

struct Header {
  Fields keys;
  Fields main;  // GAMEINFOMAIN
  Fields sub;   // GAMEINFOSUB

  std::string_view Key(std::string_view key) const { return keys.Of(key); }
  std::string_view Main(std::string_view key) const { return main.Of(key); }
  std::string_view Sub(std::string_view key) const { return sub.Of(key); }
  // The first of several sources that holds a number.
  long long FirstNumber(std::initializer_list<std::string_view> values) const {
    for (std::string_view v : values) {
      const long long n = WholeNumber(v);
      if (n >= 0) return n;
    }
    return -1;
  }
};

// "kim01 (15K)", "park7(1급)": the name, then the rank in round brackets.
void AddPlayer(Reader& r, char colour, std::string_view text) {
  text = TrimSpace(text);
  std::string rank;
  const size_t open = text.rfind('(');
  if (!text.empty() && text.back() == ')' && open != kNone) {
    rank = ShortRank(text.substr(open + 1, text.size() - open - 2));
    if (!rank.empty()) text = TrimTrailingSpace(text.substr(0, open));
  }
  r.AddRoot(colour == 'B' ? "PB" : "PW", std::string(text));
  r.AddRoot(colour == 'B' ? "BR" : "WR", rank);
}

// Result codes of GAMEINFOMAIN's GRLT (and GAMETAG's W).
std::string Result(long long code, long long margin) {
  switch (code) {
    case 0:
      return margin > 0 ? "B+" + Tenths(margin) : "B+";
    case 1:
      return margin > 0 ? "W+" + Tenths(margin) : "W+";
    case 3:
      return "B+R";
    case 4:
      return "W+R";
    case 7:
      return "B+T";
    case 8:
      return "W+T";
    default:
      return {};  // unfinished, or a code of no known meaning
  }
}

// "MAIN-BYOYOMI-PERIODS" in seconds, seconds and a count.
void AddTime(Reader& r, long long main, long long byoyomi, long long periods) {
  if (main < 0) return;
  r.AddRoot("TM", std::to_string(main));
  if (byoyomi > 0 && periods > 0) {
    r.AddRoot("OT",
            std::to_string(periods) + "x" + std::to_string(byoyomi) +
                " byo-yomi");
  }
}

bool ReadTime(std::string_view text, char sep, long long out[3]) {
  for (int i = 0; i < 3; ++i) {
    const size_t end = i < 2 ? text.find(sep) : text.size();
    if (end == kNone) return false;
    out[i] = WholeNumber(text.substr(0, end));
    if (out[i] < 0) return false;
    if (i < 2) text.remove_prefix(end + 1);
  }
  return true;
}

void AddGameInfo(const Header& h, Reader& r) {
  const std::string_view tag = h.Key("GAMETAG");
  r.AddRoot("SZ", std::to_string(r.boardSize));
  AddPlayer(r, 'B', h.Key("GAMEBLACKNAME"));
  AddPlayer(r, 'W', h.Key("GAMEWHITENAME"));
  std::string date = DateOf(h.Key("GAMEDATE"));
  if (date.empty()) date = DateOf(h.Sub("GDATE"));
  if (date.empty()) date = DateOf(TagField(tag, 'C'));
  r.AddRoot("DT", date);
  std::string_view name = h.Key("GAMENAME");
  if (name.empty()) name = h.Sub("GNAME");
  r.AddRoot("EV", std::string(TrimTrailingSpace(name)));
  std::string_view place = h.Key("GAMEPLACE");
  if (place.empty()) place = h.Sub("GPLC");
  r.AddRoot("PC", std::string(TrimTrailingSpace(place)));
  if (r.handicap >= 2) r.AddRoot("HA", std::to_string(r.handicap));
  // Komi in tenths; a handicap game's compensation stands in DUM instead.
  long long komi = h.FirstNumber({h.Main("GONGJE"), h.Key("GAMEGONGJE"),
                                  TagField(tag, 'G')});
  if (komi <= 0) {
    const long long dum = h.FirstNumber({h.Main("DUM"), h.Key("GAMEDUM")});
    if (dum > 0) komi = dum;
  }
  if (komi >= 0) r.AddRoot("KM", Tenths(komi));
  long long time[3];
  if (ReadTime(h.Main("GTIME"), '-', time)) {
    AddTime(r, time[0], time[1], time[2]);
  } else if (ReadTime(TagField(tag, 'T'), '-', time)) {
    AddTime(r, time[2], time[0], time[1]);
  }
  const long long code = h.FirstNumber({h.Main("GRLT"), TagField(tag, 'W')});
  const long long margin = h.FirstNumber(
      {h.Main("ZIPSU"), h.Key("GAMEZIPSU"), TagField(tag, 'Z')});
  r.AddRoot("RE", Result(code, margin));
  r.AddRoot("GC", std::string(TrimTrailingSpace(h.Key("GAMECOMMENT"))));
  r.AddRoot("AN", std::string(TrimTrailingSpace(h.Key("GAMELECNAME"))));
}

void ReadHeaderLine(const Line& line, Header* h, Reader& r) {
  std::string_view text = TrimTrailingSpace(line.text);
  if (text.empty()) return;
  if (!text.starts_with("\\[") || !text.ends_with("\\]")) {
    r.LeaveOut(line);
    return;
  }
  text = text.substr(2, text.size() - 4);
  const size_t eq = text.find('=');
  if (eq == kNone) {
    r.LeaveOut(line);
    return;
  }
  const std::string_view key = text.substr(0, eq);
  bool known = false;
  for (std::string_view k : kKnownKeys) known = known || k == key;
  if (!known) {
    r.LeaveOut(line);
    return;
  }
  h->keys.Add(key, text.substr(eq + 1));
}

// The fields of a game line after its word ("SKI 0 12", "INI 0 1 3 &4"):
// the first few, as numbers (-1 for one that is none). Move lines in the
// clients' own form are read by ReadPlainMove below instead.
struct LineFields {
  static constexpr size_t kMost = 6;
  long long value[kMost] = {};
  size_t count = 0;

  explicit LineFields(std::string_view text) {
    size_t pos = 0;
    while (count < kMost && (pos = SkipSpace(text, pos)) < text.size()) {
      const size_t start = pos;
      while (pos < text.size() && !IsSpace(text[pos])) ++pos;
      value[count++] = WholeNumber(text.substr(start, pos - start));
    }
  }
  size_t size() const { return count; }
  bool empty() const { return count == 0; }
  long long operator[](size_t i) const { return value[i]; }
};

// A field of one to three digits at `p`, and the space after it unless it
// is the last; `p` moves past both. False for any other form.
bool ShortField(const char*& p, const char* end, bool last, unsigned* out) {
  unsigned value = 0;
  const char* const start = p;
  for (; p < end && p - start < 3; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
    if (digit > 9) break;
    value = value * 10 + digit;
  }
  if (p == start) return false;
  *out = value;
  return last || (p < end && *p++ == ' ');
}

// A move line as the clients write it, "STO 0 12 2 15 15" and its line end:
// single spaces, short fields. Most of a record is such lines, so they are
// read here straight from the text, without looking for the line's end
// first or splitting it into fields. Returns the start of the next line, or
// kNone for a line of any other form, which the general reading takes.
size_t ReadPlainMove(std::string_view text, size_t pos, Reader& r) {
  const char* p = text.data() + pos;
  const char* const end = text.data() + text.size();
  if (end - p < 4 || std::string_view(p, 4) != "STO ") return kNone;
  p += 4;
  unsigned f[5];
  for (int i = 0; i < 5; ++i) {
    if (!ShortField(p, end, i == 4, &f[i])) return kNone;
  }
  if (p < end && *p == '\r') ++p;
  if (p < end && *p++ != '\n') return kNone;
  const unsigned size = static_cast<unsigned>(r.boardSize);
  if ((f[2] != 1 && f[2] != 2) || f[3] >= size || f[4] >= size) return kNone;
  r.AddStone(++r.played, f[2] == 1 ? 'B' : 'W', false,
             static_cast<char>('a' + f[3]), static_cast<char>('a' + f[4]));
  return static_cast<size_t>(p - text.data());
}

// One line of the game part. What comes before the first move is the
// counters and the handicap.
void ReadGameLine(const Line& line, std::string_view text, Reader& r) {
  text.remove_prefix(SkipSpace(text, 0));
  if (text.empty()) return;
  size_t wordEnd = 0;
  while (wordEnd < text.size() && !IsSpace(text[wordEnd])) ++wordEnd;
  const std::string_view word = text.substr(0, wordEnd);
  const LineFields f(text.substr(word.size()));
  const auto colourOf = [](long long code) { return code == 1 ? 'B' : 'W'; };
  if (word == "STO") {
    // STO 0 number colour x y, counted from the top left.
    if (f.size() >= 5 && (f[2] == 1 || f[2] == 2) && f[3] >= 0 &&
        f[3] < r.boardSize && f[4] >= 0 && f[4] < r.boardSize) {
      r.AddStone(++r.played, colourOf(f[2]), false,
                 static_cast<char>('a' + f[3]), static_cast<char>('a' + f[4]));
      return;
    }
  } else if (word == "SKI") {
    // A pass: by the colour the line names, else by whoever is to play.
    char color = r.handicap >= 2 ? 'W' : 'B';
    if (f.size() >= 3 && (f[2] == 1 || f[2] == 2)) {
      color = colourOf(f[2]);
    } else if (r.played > 0) {
      color = r.game->moves.back().color == 'B' ? 'W' : 'B';
    }
    r.AddStone(++r.played, color, true, 0, 0);
    return;
  } else if (word == "INI" && r.played == 0 && r.handicap == 0) {
    // INI 0 1 handicap: the stones stand before the first move.
    if (f.size() >= 3 && f[2] >= 0 && f[2] <= 9) {
      r.handicap = static_cast<int>(f[2]);
      for (const std::string& p : HandicapPoints(r.boardSize, r.handicap)) {
        r.AddStone(0, 'B', false, p[0], p[1]);
      }
      return;
    }
  } else if (r.played == 0 && !f.empty() && WholeNumber(word) >= 0) {
    return;  // the counters that open the game
  }
  r.LeaveOut(line);
}

}  // namespace

bool ReadGib(std::string_view text, GameModel* game, LeftOut* leftOut) {
  enum class Part { kBefore, kHeader, kBetween, kGame, kAfter };
  Part part = Part::kBefore;
  Header header;
  Reader r{{game, leftOut}};
  // A move line is some seventeen bytes.
  game->moves.reserve(std::min<size_t>(text.size() / 16 + 16, 4096));
  bool anyPart = false;
  int number = 0;
  for (size_t pos = 0; pos < text.size();) {
    if (part == Part::kGame) {
      if (const size_t next = ReadPlainMove(text, pos, r); next != kNone) {
        ++number;
        pos = next;
        continue;
      }
    }
    const Line line{++number, NextLine(text, &pos)};
    const std::string_view mark = TrimTrailingSpace(line.text);
    if (mark == "\\HS" && part == Part::kBefore) {
      part = Part::kHeader;
      anyPart = true;
    } else if (mark == "\\HE" && part == Part::kHeader) {
      part = Part::kBetween;
    } else if (mark == "\\GS" && part != Part::kGame && part != Part::kAfter) {
      part = Part::kGame;
      anyPart = true;
    } else if (mark == "\\GE" && part == Part::kGame) {
      part = Part::kAfter;
    } else if (part == Part::kHeader) {
      ReadHeaderLine(line, &header, r);
    } else if (part == Part::kGame) {
      ReadGameLine(line, mark, r);
    } else if (part != Part::kAfter && !mark.empty()) {
      r.LeaveOut(line);
    }
  }
  if (!anyPart) return false;
  header.main = Pairs(header.Key("GAMEINFOMAIN"));
  header.sub = Pairs(header.Key("GAMEINFOSUB"));
  AddGameInfo(header, r);
  return true;
}

}  // namespace kirato
