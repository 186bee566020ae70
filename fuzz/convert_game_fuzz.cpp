// Feeds arbitrary bytes to the converter as a UGF record. The first byte
// picks the trace level, so the trace paths are exercised too. Checks that
// a converted game is framed and that a failed one never looks finished.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fake_disk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  kirato::TestRun t;
  kirato::OpenTraceLog(t.run, data[0] % 10, "/trace.log");
  const std::string ugf(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string sgf;
  const int result = kirato::ConvertText(t.run, ugf, &sgf);
  const bool framed = sgf.size() >= 2 && sgf.compare(sgf.size() - 2, 2, ")\n") == 0;
  if (sgf.rfind("(;GM[1]FF[4]AP[kirato:1.0]\n", 0) != 0) std::abort();
  if (result == 0 && !framed) std::abort();
  // A second game on the same run starts clean.
  std::string again;
  if (kirato::ConvertText(t.run, "", &again) != 0) std::abort();
  if (again != "(;GM[1]FF[4]AP[kirato:1.0]\nGN[game.sgf]\n)\n") std::abort();
  return 0;
}
