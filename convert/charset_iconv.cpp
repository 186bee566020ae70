// The charset seam over the C library's iconv.
#include <iconv.h>

#include <cerrno>
#include <string>
#include <string_view>

#include "convert/charset.h"
#include "convert/utf8.h"

namespace kirato {

namespace {

// One conversion descriptor, closed however the decoding ends (an
// allocation may throw while it is open).
class Converter {
 public:
  explicit Converter(std::string_view charset)
      : cd_(iconv_open("UTF-8", std::string(charset).c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

bool CharsetKnown(std::string_view charset) {
  return Converter(charset).ok();
}

bool DecodeToUtf8(std::string_view bytes, std::string_view charset,
                  std::string* out, size_t* firstInvalid) {
  Converter converter(charset);
  if (!converter.ok()) return false;
  *firstInvalid = std::string_view::npos;
  // Most text of these charsets grows by half at most; more room is made
  // when it does not.
  std::string result(bytes.size() + bytes.size() / 2 + 16, '\0');
  size_t used = 0;
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* to = result.data() + used;
    size_t toLeft = result.size() - used;
    const size_t done = iconv(converter.get(), &in, &inLeft, &to, &toLeft);
    used = static_cast<size_t>(to - result.data());
    if (done != static_cast<size_t>(-1)) break;
    if (errno == E2BIG) {
      result.resize(result.size() * 2);
      continue;
    }
    // EILSEQ, or EINVAL for a sequence the text ends inside of: the byte
    // at `in` begins nothing valid.
    if (*firstInvalid == std::string_view::npos) {
      *firstInvalid = static_cast<size_t>(in - bytes.data());
    }
    if (result.size() - used < kReplacementCharacter.size()) {
      result.resize(result.size() * 2);
    }
    result.replace(used, kReplacementCharacter.size(), kReplacementCharacter);
    used += kReplacementCharacter.size();
    ++in;
    --inLeft;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  }
  result.resize(used);
  *out = std::move(result);
  return true;
}

}  // namespace kirato
