// The charset seam over the C library's iconv.
#include <iconv.h>

#include <algorithm>
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

// Appends `bytes` decoded to *out, each byte that begins no valid sequence
// as U+FFFD. `offset` is where `bytes` stand in the whole text, for
// *firstInvalid.
void DecodeRun(const Converter& converter, std::string_view bytes,
               size_t offset, std::string* out, size_t* firstInvalid) {
  size_t used = out->size();
  // Most text of these charsets grows by half at most; more room is made
  // when it does not.
  out->resize(used + bytes.size() + bytes.size() / 2 + 16);
  char* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* to = out->data() + used;
    size_t toLeft = out->size() - used;
    const size_t done = iconv(converter.get(), &in, &inLeft, &to, &toLeft);
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
    ++in;
    --inLeft;
    iconv(converter.get(), nullptr, nullptr, nullptr, nullptr);
  }
  out->resize(used);
}

}  // namespace

bool CharsetKnown(std::string_view charset) {
  return Converter(charset).ok();
}

bool DecodeToUtf8(std::string_view bytes, std::string_view charset,
                  std::string* out, size_t* firstInvalid) {
  Converter converter(charset);
  if (!converter.ok()) return false;
  *firstInvalid = std::string_view::npos;
  std::string result;
  result.reserve(bytes.size() + bytes.size() / 4);
  // iconv takes a call for every character, many times what a copy costs,
  // and records are mostly ASCII (the moves), which every charset read here
  // leaves as it is. No line feed is ever part of a character of these
  // charsets, so the lines that hold a byte above 0x7F are decoded whole
  // and the others copied.
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t high = SkipAscii(bytes, pos);
    if (high == bytes.size()) break;
    const size_t before = bytes.rfind('\n', high);
    const size_t start =
        before == std::string_view::npos || before < pos ? pos : before + 1;
    const size_t end = std::min(bytes.find('\n', high), bytes.size());
    result.append(bytes, pos, start - pos);
    DecodeRun(converter, bytes.substr(start, end - start), start, &result,
              firstInvalid);
    pos = end;
  }
  result.append(bytes, pos);
  *out = std::move(result);
  return true;
}

}  // namespace kirato
