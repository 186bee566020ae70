#include "convert/record_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "base/utf8.h"
#include "convert/charset.h"
#include "convert/lines.h"
#include "convert/text.h"
#include "convert/ugf.h"

namespace kirato {

namespace {

constexpr std::string_view kUtf8 = "UTF-8";
// Text that is not UTF-8 mostly comes from Japanese clients, which write
// Windows' Shift-JIS.
constexpr std::string_view kDefaultCharset = "CP932";

struct LangName {
  std::string_view lang;  // the value of a Lang line, in any letter case
  std::string_view charset;
};

// Shift-JIS as the clients write it is Windows' variant, whose extra
// characters (circled numbers, NEC kanji) plain Shift-JIS lacks; GBK
// likewise holds all of GB2312.
constexpr LangName kLangNames[] = {
    {"SJIS", "CP932"},     {"Shift_JIS", "CP932"}, {"SHIFT-JIS", "CP932"},
    {"CP932", "CP932"},    {"UTF8", "UTF-8"},      {"UTF-8", "UTF-8"},
    {"EUC-JP", "EUC-JP"},  {"GB2312", "GBK"},      {"GBK", "GBK"},
    {"EUC-KR", "EUC-KR"},  {"KSC", "EUC-KR"},      {"BIG5", "BIG5"},
};

// The platform's decoder of the charset asked for last, kept open: asking
// whether the platform knows a charset and decoding in it cost one opening.
// A charset read through a table needs none.
class Decoders {
 public:
  CharsetDecoder* Of(std::string_view charset) {
    if (charset != charset_) {
      decoder_ = OpenCharsetDecoder(charset);
      charset_ = charset;
    }
    return decoder_.get();
  }
  bool Known(std::string_view charset) {
    return CharTableOf(charset) != nullptr || Of(charset) != nullptr;
  }

 private:
  std::string_view charset_;  // one of this file's constants
  std::unique_ptr<CharsetDecoder> decoder_;
};

// The charset a Lang value names, or empty when it names none that can be
// decoded here.
std::string_view CharsetOfLang(std::string_view lang, Decoders& decoders) {
  for (const LangName& l : kLangNames) {
    if (!EqualsNoCase(lang, l.lang)) continue;
    if (l.charset == kUtf8 || decoders.Known(l.charset)) return l.charset;
    return {};
  }
  return {};
}

// What the undecoded lines tell: section names and the Lang key are ASCII
// in every charset a record may use, and no trail byte of them can begin a
// line.
struct RawScan {
  bool anySection = false;
  std::string_view lang;  // the value of the last Lang line of the header
};

// Reads up to the end of the first header section: the charset is the
// whole record's, and the moves after it need not be read twice.
RawScan ScanRaw(std::string_view text) {
  RawScan scan;
  bool inHeader = false;
  LineSplitter lines(text, false, LineSplitter::kNoEndOfFile);
  std::string_view piece;
  bool lineEnd = false;
  while (lines.Next(&piece, &lineEnd)) {
    std::string_view work = TrimLineEnd(piece);
    work.remove_prefix(SkipSpace(work, 0));
    if (!work.empty() && work.front() == '[') {
      if (inHeader) break;
      inHeader = StartsWithNoCase(work, "[Header]");
      if (NamesUgfSection(work)) scan.anySection = true;
    } else if (inHeader && StartsWithNoCase(work, "Lang")) {
      const size_t eq = work.find('=');
      scan.lang = eq == std::string_view::npos
                      ? std::string_view()
                      : TrimTrailingSpace(work.substr(SkipSpace(work, eq + 1)));
    }
  }
  return scan;
}

// `bytes` of *charset as UTF-8. Should the platform fail to decode the
// charset after all, the bytes are read as UTF-8 and *charset says so.
std::string Decode(std::string_view bytes, std::string_view* charset,
                   size_t* firstInvalid, Decoders& decoders) {
  std::string out;
  if (*charset != kUtf8) {
    if (const CharTable* table = CharTableOf(*charset)) {
      DecodeToUtf8(bytes, *table, &out, firstInvalid);
      return out;
    }
    if (CharsetDecoder* decoder = decoders.Of(*charset)) {
      DecodeToUtf8(bytes, *decoder, &out, firstInvalid);
      return out;
    }
  }
  *charset = kUtf8;
  *firstInvalid = FirstInvalidUtf8(bytes);
  AppendRepairedUtf8(out, bytes);
  return out;
}

// The charset of text that is not UTF-8 and names none.
std::string_view DefaultCharset(Decoders& decoders) {
  return decoders.Known(kDefaultCharset) ? kDefaultCharset : kUtf8;
}

std::string WithoutNul(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::copy_if(text.begin(), text.end(), std::back_inserter(out),
               [](char c) { return c != '\0'; });
  return out;
}

// What one pass over the bytes tells: where the text ends (at its first
// Ctrl-Z byte, a DOS end-of-file marker), and whether a byte before that
// is above 0x7F or NUL. Most records are plain ASCII, and this pass is all
// they cost: it reads sixteen bytes at a time.
struct ByteKinds {
  size_t end = 0;
  bool high = false;
  bool nul = false;
};

ByteKinds ScanBytes(std::string_view text) {
  const char* p = text.data();
  size_t pos = 0;
  ByteKinds kinds;
#if defined(__SSE2__)
  const __m128i endOfFile = _mm_set1_epi8(0x1A);
  __m128i any = _mm_setzero_si128();
  __m128i zero = _mm_setzero_si128();
  // Thirty-two bytes a step: where either half has a NUL, so has the
  // lesser of the two.
  for (; pos + 32 <= text.size(); pos += 32) {
    // A record just read from its file is in the cache; one of many held
    // in memory is not, and the bytes ahead are asked for meanwhile.
    _mm_prefetch(p + pos + 512, _MM_HINT_T0);
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
    const __m128i b =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos + 16));
    // The chunk with the marker is read byte by byte below.
    if (_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(a, endOfFile),
                                       _mm_cmpeq_epi8(b, endOfFile))) != 0) {
      break;
    }
    any = _mm_or_si128(any, _mm_or_si128(a, b));
    zero = _mm_or_si128(
        zero, _mm_cmpeq_epi8(_mm_min_epu8(a, b), _mm_setzero_si128()));
  }
  kinds.high = _mm_movemask_epi8(any) != 0;
  kinds.nul = _mm_movemask_epi8(zero) != 0;
#endif
  for (; pos < text.size() && p[pos] != 0x1A; ++pos) {
    kinds.high |= static_cast<unsigned char>(p[pos]) >= 0x80;
    kinds.nul |= p[pos] == '\0';
  }
  kinds.end = pos;
  return kinds;
}

// How many times `c` stands in `text`: sixteen bytes at a time, each
// byte's count kept in a byte of its own for up to 255 steps.
size_t CountByte(std::string_view text, char c) {
  const char* p = text.data();
  size_t pos = 0;
  size_t count = 0;
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi8(c);
  while (text.size() - pos >= 16) {
    const size_t steps = std::min<size_t>((text.size() - pos) / 16, 255);
    __m128i counts = _mm_setzero_si128();
    for (size_t k = 0; k < steps; ++k, pos += 16) {
      const __m128i bytes =
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + pos));
      // A match is all ones, minus one.
      counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(bytes, wanted));
    }
    const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
    count += static_cast<size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<size_t>(_mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
  }
#endif
  for (; pos < text.size(); ++pos) count += p[pos] == c;
  return count;
}

}  // namespace

void ReportInvalidBytes(Conversion& c, std::string_view charset,
                        size_t line) {
  Message(c, std::string("Invalid ")
                 .append(charset)
                 .append(" bytes in ")
                 .append(c.options.recordPath)
                 .append(" (the first in line ")
                 .append(std::to_string(line))
                 .append(") written as U+FFFD"));
}

void PrepareRecordText(Conversion& c, std::string_view record,
                       std::string_view gameName, RecordText* r) {
  // Left in, the mark would hide the first section line, and the header
  // with it.
  const bool byteOrderMark = record.starts_with(kByteOrderMark);
  if (byteOrderMark) record.remove_prefix(kByteOrderMark.size());
  const ByteKinds kinds = ScanBytes(record);
  r->raw = record.substr(0, kinds.end);
  if (kinds.nul) {
    r->owned = WithoutNul(r->raw);
    r->changed = true;
  }
  const std::string_view text = r->text();
  r->ascii = !kinds.high;
  r->gameName.assign(gameName);
  if (c.options.charset == CharsetMode::kKeep) return;

  const bool nameIsUtf8 = FirstInvalidUtf8(gameName) == std::string_view::npos;
  if (r->ascii && nameIsUtf8) return;
  const RawScan scan = ScanRaw(text);
  Decoders decoders;
  const std::string_view declared = CharsetOfLang(scan.lang, decoders);
  if (!nameIsUtf8) {
    // Not UTF-8, so not the default's first choice either. The name comes
    // from the file system, not from the text a byte order mark speaks of.
    std::string_view charset =
        declared.empty() ? DefaultCharset(decoders) : declared;
    size_t ignored = 0;
    r->gameName = Decode(gameName, &charset, &ignored, decoders);
  }
  if (r->ascii || !scan.anySection) return;

  std::string_view charset = byteOrderMark ? kUtf8 : declared;
  size_t firstInvalid = std::string_view::npos;
  if (charset.empty() || charset == kUtf8) {
    firstInvalid = FirstInvalidUtf8(text);
    if (firstInvalid == std::string_view::npos) return;  // read as it is
    if (charset.empty()) charset = DefaultCharset(decoders);
  }
  std::string decoded = Decode(text, &charset, &firstInvalid, decoders);
  if (firstInvalid != std::string_view::npos) {
    const size_t line =
        1 + CountByte(text.substr(0, firstInvalid), LineEndOf(text));
    ReportInvalidBytes(c, charset, line);
  }
  r->owned = std::move(decoded);
  r->changed = true;
}

}  // namespace kirato
