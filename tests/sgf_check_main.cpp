// sgf-check FILE...: exits 0 when every file holds well-formed, complete
// SGF; otherwise names each bad file, the byte offset and the fault.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "sgf_check.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: sgf-check FILE...\n");
    return 2;
  }
  int bad = 0;
  for (int i = 1; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "%s: cannot open\n", argv[i]);
      ++bad;
      continue;
    }
    const std::string text((std::istreambuf_iterator<char>(in)),
                           std::istreambuf_iterator<char>());
    const kirato::SgfCheck c = kirato::CheckSgf(text);
    if (!c.ok()) {
      std::fprintf(stderr, "%s: byte %zu: %s\n", argv[i], c.errorAt,
                   c.error.c_str());
      ++bad;
    }
  }
  return bad == 0 ? 0 : 1;
}
