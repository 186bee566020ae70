// The seam over the platform's character set converter: records come in
// the charsets of the clients that wrote them, SGF goes out in UTF-8. Each
// platform supplies these two functions from its own converter; nothing
// else in the engine knows which one it is.
#ifndef KIRATO_CONVERT_CHARSET_H_
#define KIRATO_CONVERT_CHARSET_H_

#include <string>
#include <string_view>

namespace kirato {

// True when the platform can decode text of `charset` ("CP932", "EUC-JP",
// "GBK", "EUC-KR", "BIG5").
bool CharsetKnown(std::string_view charset);

// Decodes `bytes` of `charset` into UTF-8 in *out. A byte that does not
// begin a valid sequence becomes U+FFFD and decoding goes on with the next
// byte, so a damaged character never takes a line end with it.
// *firstInvalid receives the offset of the first such byte, or
// std::string_view::npos. False, with *out untouched, when the charset
// cannot be decoded at all.
bool DecodeToUtf8(std::string_view bytes, std::string_view charset,
                  std::string* out, size_t* firstInvalid);

}  // namespace kirato

#endif  // KIRATO_CONVERT_CHARSET_H_
