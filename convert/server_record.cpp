// A GIB or NGF record from bytes to the game model: its charset chosen and
// decoded, its lines read, and what could not be placed told in one message.
#include "convert/server_record.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "base/utf8.h"
#include "convert/charset.h"
#include "convert/record_text.h"

namespace kirato {

namespace {

size_t LineOf(std::string_view text, size_t offset) {
  const std::string_view before = text.substr(0, offset);
  return 1 + static_cast<size_t>(std::count(before.begin(), before.end(), '\n'));
}

// `bytes` of *charset as UTF-8; what is not valid becomes U+FFFD and
// *firstInvalid tells where the first such byte was. Should the platform
// not know the charset after all, the bytes are read as UTF-8 and
// *charset says so.
std::string Decoded(std::string_view bytes, std::string_view* charset,
                    size_t* firstInvalid) {
  std::string text;
  *firstInvalid = std::string_view::npos;
  if (!DecodeToUtf8(bytes, *charset, &text, firstInvalid)) {
    text.clear();
    AppendRepairedUtf8(text, bytes);
    *firstInvalid = FirstInvalidUtf8(bytes);
    *charset = "UTF-8";
  }
  return text;
}

// The record's text as its readers see it: UTF-8 unless the bytes are
// kept; NUL bytes, which C-string readers of the SGF take for an end, gone.
std::string TextOf(Conversion& c, std::string_view bytes, bool gib,
                   std::string_view* charset) {
  std::string text;
  *charset = "UTF-8";
  if (c.options.charset == CharsetMode::kKeep) {
    text.assign(bytes);
  } else if (bytes.starts_with(kByteOrderMark)) {
    AppendRepairedUtf8(text, bytes.substr(kByteOrderMark.size()));
  } else if (FirstInvalidUtf8(bytes) == std::string_view::npos) {
    text.assign(bytes);
  } else {
    size_t firstInvalid = std::string_view::npos;
    if (!DecodeServerRecord(bytes, gib ? GibEdition(bytes) : "", &text,
                            charset, &firstInvalid)) {
      text = Decoded(bytes, charset, &firstInvalid);
    }
    if (firstInvalid != std::string_view::npos) {
      ReportInvalidBytes(c, *charset, LineOf(bytes, firstInvalid));
    }
  }
  // Looked for first: a search for one byte is quicker than the erase's
  // pass, and almost no record holds one.
  if (text.find('\0') != std::string::npos) std::erase(text, '\0');
  return text;
}

}  // namespace

bool ReadServerRecord(Conversion& c, std::string_view record,
                      std::string_view gameName, GameModel* game,
                      std::string* err) {
  const bool gib = c.options.format == RecordFormat::kGib;
  std::string_view charset;
  const std::string text = TextOf(c, record, gib, &charset);
  game->gameName.assign(gameName);
  if (c.options.charset == CharsetMode::kDecode &&
      FirstInvalidUtf8(gameName) != std::string_view::npos) {
    size_t ignored = 0;
    game->gameName = Decoded(gameName, &charset, &ignored);
  }
  LeftOut leftOut;
  const bool read = gib ? ReadGib(text, game, &leftOut)
                        : ReadNgf(text, game, &leftOut);
  if (!read) {
    c.refused = true;
    *err = std::string("No ")
               .append(gib ? "GIB" : "NGF")
               .append(" game found in ")
               .append(c.options.recordPath)
               .append(". Conversion aborted.");
    return false;
  }
  if (leftOut.count > 0) {
    std::string message = std::string("Left out of ")
                              .append(c.options.recordPath)
                              .append(": line ")
                              .append(std::to_string(leftOut.line))
                              .append(" '")
                              .append(leftOut.text)
                              .append("'");
    if (leftOut.count > 1) {
      message.append(" and ")
          .append(std::to_string(leftOut.count - 1))
          .append(leftOut.count > 2 ? " more lines" : " more line");
    }
    Message(c, std::move(message));
  }
  return true;
}

}  // namespace kirato
