// The charset decoder over Windows' code pages.
#include <algorithm>
#include <memory>
#include <string>
#include <string_view>

#include "base/ascii.h"
#include "base/utf8.h"
#include "convert/charset.h"

// Last: it defines words such as "near" as macros, which would change the
// code of the headers above.
#include <windows.h>

namespace kirato {

namespace {

struct CodePageName {
  std::string_view charset;
  UINT codePages[2];  // the first the system has is taken; 0 ends
};

// EUC-JP is 20932 to MultiByteToWideChar; 51932, its other number, is
// taken where a system knows that one only. A system without GB18030
// (Wine, say) reads such text as GBK, which holds every character of
// GB2312.
constexpr CodePageName kCodePages[] = {
    {"CP932", {932, 0}},   {"EUC-JP", {20932, 51932}}, {"GBK", {936, 0}},
    {"EUC-KR", {949, 0}},  {"CP949", {949, 0}},        {"GB18030", {54936, 936}},
    {"BIG5", {950, 0}},    {"UTF-8", {65001, 0}},
};

// The longest character of these code pages, in bytes.
constexpr size_t kLongestCharacter = 4;

// The code page for `charset`, or 0 when the system has none for it.
UINT CodePageOf(std::string_view charset) {
  for (const CodePageName& c : kCodePages) {
    if (!EqualsNoCase(charset, c.charset)) continue;
    for (UINT page : c.codePages) {
      if (page != 0 && ::IsValidCodePage(page)) return page;
    }
    return 0;
  }
  return 0;
}

// Appends `bytes`, all of them valid in `page`, as UTF-8. False when some
// byte is not.
bool AppendDecoded(UINT page, std::string_view bytes, std::string* out) {
  const int size = static_cast<int>(bytes.size());
  const int wide = ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS,
                                         bytes.data(), size, nullptr, 0);
  if (wide <= 0) return false;
  std::wstring text(static_cast<size_t>(wide), L'\0');
  ::MultiByteToWideChar(page, MB_ERR_INVALID_CHARS, bytes.data(), size,
                        text.data(), wide);
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr,
                                      0, nullptr, nullptr);
  const size_t used = out->size();
  out->resize(used + static_cast<size_t>(n));
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, out->data() + used, n,
                        nullptr, nullptr);
  return true;
}

// Decodes a run with an invalid byte in it one character at a time: the
// shortest beginning that is a whole character is one, and a byte that
// begins none becomes U+FFFD. `offset` is where the run stands in the whole
// text, for *firstInvalid.
void DecodeEach(UINT page, std::string_view bytes, size_t offset,
                std::string* out, size_t* firstInvalid) {
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t length = 1;
    const size_t longest = std::min(kLongestCharacter, bytes.size() - pos);
    while (length <= longest &&
           !AppendDecoded(page, bytes.substr(pos, length), out)) {
      ++length;
    }
    if (length <= longest) {
      pos += length;
      continue;
    }
    if (*firstInvalid == std::string_view::npos) *firstInvalid = offset + pos;
    out->append(kReplacementCharacter);
    ++pos;
  }
}

class CodePageDecoder : public CharsetDecoder {
 public:
  explicit CodePageDecoder(UINT page) : page_(page) {}
  void Append(std::string_view bytes, size_t offset, std::string* out,
              size_t* firstInvalid) override {
    if (!AppendDecoded(page_, bytes, out)) {
      DecodeEach(page_, bytes, offset, out, firstInvalid);
    }
  }

 private:
  UINT page_;
};

}  // namespace

std::unique_ptr<CharsetDecoder> OpenCharsetDecoder(std::string_view charset) {
  const UINT page = CodePageOf(charset);
  if (page == 0) return nullptr;
  return std::make_unique<CodePageDecoder>(page);
}

}  // namespace kirato
