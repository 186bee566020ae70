// Which charset a GIB or NGF record was written in. No field names it, and
// the two likely ones, CP949 (Korean) and GB18030 (Chinese), read almost any
// byte pair as some character: what tells them apart is whether the text
// then reads as the words of its language.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "convert/charset.h"
#include "convert/server_record.h"
#include "base/ascii.h"
#include "base/utf8.h"

namespace kirato {

namespace {

// Frequent syllables of Korean text, and those of the game's own words:
// 흑 백 승 집 덤 대국 시간 불계 호선 바둑 ...
constexpr std::string_view kKorean =
    "이의다는에을하고기가지사도로한서대자시리국인수일어정나과전스보게주부아상"
    "들제장적구조해원동성여위면만화라것소마문모신세우년중비회연경공관미방생내"
    "그무바선개요호계드저데분실람발산행학심물명용진당유통금반결단급승흑백집덤"
    "간불패치판둑님강유영박김최";

// Frequent characters of Chinese text, and the game's own words:
// 黑 白 胜 负 目 半 让 子 贴 棋 段 级 中盘 超时 限时 ...
constexpr std::string_view kChinese =
    "的一是不了人我在有他这中大来上国个到说们为子和你地出道也时年得就那要下以"
    "生会自着去之过家学对可她里后小么心多天而能好都然没日于起还发成事只作当想"
    "看文无开手十用主行方又如前所本见经头面公同三已老从动两长知民样现分将外但"
    "身些与高意进把法此实回二理美点月明其种声全工己话儿者向情部正名定女问力机"
    "给等几很业最间新什打便位因重被走电四第门相次东政海口使教西再平真听世气信"
    "北少关并内加化由却代军产入先山五太水万市眼体别处总才场师书比住员九黑胜负"
    "局棋盘段级让贴目超限每午围";

// The code points beyond ASCII of a UTF-8 text (of the program's own
// tables, or of a decoder's output: always well-formed), handed one by one
// to `take`. The runs of ASCII between them, most of a record, are passed
// over whole.
template <typename Take>
void ForEachCodePointBeyondAscii(std::string_view text, Take take) {
  for (size_t i = SkipAscii(text, 0); i < text.size();
       i = SkipAscii(text, i)) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const int length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    char32_t c = lead & (0x3F >> (length - 1));
    for (int k = 1; k < length && i + k < text.size(); ++k) {
      c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    take(c);
    i += static_cast<size_t>(length);
  }
}

// A language's common characters, sorted for a binary search.
using CommonSet = std::vector<char32_t>;

CommonSet SortedCodePoints(std::string_view text) {
  CommonSet set;
  ForEachCodePointBeyondAscii(text, [&](char32_t c) { set.push_back(c); });
  std::sort(set.begin(), set.end());
  return set;
}

struct Language {
  std::string_view charset;
  const CommonSet& common;
};

// A reading of a record's bytes in one charset, and how well it reads.
struct Reading {
  std::string text;
  size_t firstInvalid = std::string_view::npos;
  // Of the characters beyond ASCII, the share that are common words of
  // the language, less twice the share that could not be read at all;
  // below -1 when the charset cannot be decoded here.
  double score = -2;
};

Reading Read(std::string_view bytes, const Language& language) {
  Reading r;
  if (!DecodeToUtf8(bytes, language.charset, &r.text, &r.firstInvalid)) {
    return r;
  }
  int beyond = 0, hits = 0, unreadable = 0;
  ForEachCodePointBeyondAscii(r.text, [&](char32_t c) {
    ++beyond;
    if (c == 0xFFFD) ++unreadable;
    if (std::binary_search(language.common.begin(), language.common.end(),
                           c)) {
      ++hits;
    }
  });
  r.score = beyond == 0 ? 0 : (hits - 2.0 * unreadable) / beyond;
  return r;
}

struct Edition {
  std::string_view name;  // as the GIB header names it
  std::string_view charset;
};

constexpr Edition kEditions[] = {
    {"Korea", "CP949"}, {"China", "GB18030"}, {"Japan", "CP932"}};

// A reading this good is taken without trying the other charset: text of
// the other language seldom reads as a third of common words.
constexpr double kConvincing = 0.3;

}  // namespace

std::string_view GibEdition(std::string_view bytes) {
  constexpr std::string_view kKey = "\\[GIBOKIND=";
  const size_t at = bytes.find(kKey);
  if (at == std::string_view::npos) return {};
  const size_t start = at + kKey.size();
  const size_t end = bytes.find("\\]", start);
  if (end == std::string_view::npos) return {};
  return TrimTrailingSpace(bytes.substr(start, end - start));
}

bool DecodeServerRecord(std::string_view bytes, std::string_view hint,
                        std::string* text, std::string_view* charset,
                        size_t* firstInvalid) {
  for (const Edition& e : kEditions) {
    if (EqualsNoCase(hint, e.name) &&
        DecodeToUtf8(bytes, e.charset, text, firstInvalid)) {
      *charset = e.charset;
      return true;
    }
  }
  // Built once for all threads, never changed after.
  static const CommonSet korean = SortedCodePoints(kKorean);
  static const CommonSet chinese = SortedCodePoints(kChinese);
  // Most records of these clients are Korean: CP949 unless the text reads
  // better as Chinese.
  const Language languages[] = {{"CP949", korean}, {"GB18030", chinese}};
  Reading best = Read(bytes, languages[0]);
  *charset = languages[0].charset;
  if (best.score < kConvincing) {
    Reading other = Read(bytes, languages[1]);
    if (other.score > best.score) {
      best = std::move(other);
      *charset = languages[1].charset;
    }
  }
  if (best.score < -1) return false;
  *text = std::move(best.text);
  *firstInvalid = best.firstInvalid;
  return true;
}

}  // namespace kirato
