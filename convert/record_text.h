// Turns a record's bytes into the text its section handlers read, before
// any of them runs: UTF-8 whatever charset the record was written in, so
// that no handler needs charset work of its own and no escape can split a
// character, and without NUL bytes, which C-string readers of the SGF would
// take for the end of a value.
#ifndef KIRATO_CONVERT_RECORD_TEXT_H_
#define KIRATO_CONVERT_RECORD_TEXT_H_

#include <string>
#include <string_view>

#include "convert/conversion.h"

namespace kirato {

// The text holds no Ctrl-Z byte: the record is cut at its first, a DOS
// end-of-file marker.
struct RecordText {
  std::string_view raw;  // the record up to its end-of-file marker
  std::string owned;     // the text, when it differs from `raw`
  bool changed = false;
  bool ascii = true;     // the text holds no byte above 0x7F
  std::string gameName;  // as GN is to hold it

  std::string_view text() const {
    return changed ? std::string_view(owned) : raw;
  }
};

// Prepares `record` and the game's name. A UTF-8 byte order mark at the
// start of the record (as Windows Notepad writes) is left out, and the
// record is then UTF-8 whatever its Lang line says. In the default mode
// any other record with bytes above 0x7F is decoded from the charset its
// header's Lang line names, or, without one the platform knows, from UTF-8
// when it is well-formed UTF-8 and from CP932 otherwise; bytes not valid
// in that charset become U+FFFD and give one message naming the line of
// the first. A pure ASCII
// record is neither copied nor decoded. A record in which no line names a
// UGF section is left undecoded: it is refused as a whole.
void PrepareRecordText(Conversion& c, std::string_view record,
                       std::string_view gameName, RecordText* r);

// The one message for bytes of a record that are no text in `charset`,
// naming the record line of the first.
void ReportInvalidBytes(Conversion& c, std::string_view charset, size_t line);

}  // namespace kirato

#endif  // KIRATO_CONVERT_RECORD_TEXT_H_
