// The charset decoder over the C library's iconv.
#include <iconv.h>

#include <cerrno>
#include <memory>
#include <string>
#include <string_view>

#include "base/utf8.h"
#include "convert/charset.h"

namespace kirato {

namespace {

// One conversion descriptor, closed however the decoding ends (an
// allocation may throw while it is open).
class IconvDecoder : public CharsetDecoder {
 public:
  explicit IconvDecoder(iconv_t cd) : cd_(cd) {}
  ~IconvDecoder() override { iconv_close(cd_); }
  IconvDecoder(const IconvDecoder&) = delete;
  IconvDecoder& operator=(const IconvDecoder&) = delete;

  void Append(std::string_view bytes, size_t offset, std::string* out,
              size_t* firstInvalid) override {
    size_t used = out->size();
    // Most text of these charsets grows by half at most; more room is made
    // when it does not.
    out->resize(used + bytes.size() + bytes.size() / 2 + 16);
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
      char* to = out->data() + used;
      size_t toLeft = out->size() - used;
      const size_t done = iconv(cd_, &in, &inLeft, &to, &toLeft);
      used = static_cast<size_t>(to - out->data());
      if (done != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) {
        out->resize(out->size() * 2);
        continue;
      }
      // EILSEQ, or EINVAL for a sequence the text ends inside of: the byte
      // at `in` begins nothing valid.
      if (*firstInvalid == std::string_view::npos) {
        *firstInvalid = offset + static_cast<size_t>(in - bytes.data());
      }
      if (out->size() - used < kReplacementCharacter.size()) {
        out->resize(out->size() * 2);
      }
      out->replace(used, kReplacementCharacter.size(), kReplacementCharacter);
      used += kReplacementCharacter.size();
      // Some converters (the C library's CP949, for "\xA2\xE8") step over
      // the whole bad sequence before they report it, up to the end of the
      // text: there is then no byte left to step over.
      if (inLeft > 0) {
        ++in;
        --inLeft;
      }
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
    out->resize(used);
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::unique_ptr<CharsetDecoder> OpenCharsetDecoder(std::string_view charset) {
  const iconv_t cd = iconv_open("UTF-8", std::string(charset).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return std::make_unique<IconvDecoder>(cd);
}

}  // namespace kirato
