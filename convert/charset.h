// The seam over the platform's character set converter: records come in
// the charsets of the clients that wrote them, SGF goes out in UTF-8. Each
// platform supplies OpenCharsetDecoder from its own converter; nothing else
// in the engine knows which one it is.
#ifndef KIRATO_CONVERT_CHARSET_H_
#define KIRATO_CONVERT_CHARSET_H_

#include <memory>
#include <string>
#include <string_view>

namespace kirato {

// The platform's converter from one charset to UTF-8.
class CharsetDecoder {
 public:
  virtual ~CharsetDecoder() = default;
  // Appends `bytes` decoded to *out. A byte that does not begin a valid
  // sequence becomes U+FFFD and decoding goes on with the next byte;
  // `offset` is where `bytes` stand in the whole text, so that
  // *firstInvalid (when still npos) receives the offset of the first such
  // byte.
  virtual void Append(std::string_view bytes, size_t offset, std::string* out,
                      size_t* firstInvalid) = 0;
};

// The decoder of `charset` ("CP932", "EUC-JP", "GBK", "EUC-KR", "BIG5"),
// or nullptr when the platform cannot decode it.
std::unique_ptr<CharsetDecoder> OpenCharsetDecoder(std::string_view charset);

// True when the platform can decode text of `charset`.
bool CharsetKnown(std::string_view charset);

// Decodes `bytes` into UTF-8 in *out, as CharsetDecoder does; a damaged
// character never takes a line end with it. *firstInvalid receives the
// offset of the first invalid byte, or std::string_view::npos.
void DecodeToUtf8(std::string_view bytes, CharsetDecoder& decoder,
                  std::string* out, size_t* firstInvalid);

// The same with a decoder of `charset` of its own. False, with *out
// untouched, when the charset cannot be decoded at all.
bool DecodeToUtf8(std::string_view bytes, std::string_view charset,
                  std::string* out, size_t* firstInvalid);

// Every character of a charset, as the platform's decoder reads it, for
// decoding without calling the platform (charset_table.cpp).
struct CharTable;

// The table of `charset`, made at the first call for it and shared by all
// threads; nullptr for a charset that is not read through a table here, or
// that the platform cannot decode.
const CharTable* CharTableOf(std::string_view charset);

// Decodes `bytes` as DecodeToUtf8 above does with the platform's decoder of
// the table's charset, to the same bytes.
void DecodeToUtf8(std::string_view bytes, const CharTable& table,
                  std::string* out, size_t* firstInvalid);

}  // namespace kirato

#endif  // KIRATO_CONVERT_CHARSET_H_
