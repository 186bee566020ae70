// Runs an arbitrary datafile over an in-memory disk holding a small tree of
// records, one of them also arbitrary: the input is the datafile, then after
// the first NUL byte (if any) that record's bytes. Every command and the walk
// behind them are reached. The run must end with its summary, leave no
// output half-made, and every SGF file it wrote must be complete.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "batch/datafile.h"
#include "fake_disk.h"
#include "sgf_check.h"

namespace {

void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

bool EndsWith(std::string_view s, std::string_view end) {
  return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t nul = input.find('\0');
  const std::string_view datafile = input.substr(0, nul);
  const std::string_view record = nul == std::string_view::npos
                                      ? std::string_view()
                                      : input.substr(nul + 1);

  kirato::TestRun t;
  t.disk.AddFile("/ugf/a.ugf", "[Header]\nTitle=A\n[Data]\nPD,B1,1\n");
  t.disk.AddFile("/ugf/s/b.ugi", "[Data]\nzz\n");
  t.disk.AddFile("/ugf/s/c.ugf", std::string(record));
  t.disk.AddLink("/ugf/s/loop", "/ugf");
  t.disk.AddFile("/job/kirato.txt", std::string(datafile));
  kirato::RunDatafile(t.run, "/job/kirato.exe");

  Require(t.messages.size() >= 6, "the run ended without its summary");
  Require(t.messages[t.messages.size() - 5] == "*** summary ***",
          "the run ended without its summary");
  Require(t.disk.openOutputs == 0, "an output was left half-made");
  for (const auto& [path, node] : t.disk.nodes) {
    if (node.kind != kirato::FakeDisk::kFile || !EndsWith(path, ".sgf")) {
      continue;
    }
    const kirato::SgfCheck check = kirato::CheckSgf(node.content);
    if (!check.ok()) {
      std::fprintf(stderr, "%s: byte %zu: %s\n", path.c_str(), check.errorAt,
                   check.error.c_str());
      std::abort();
    }
  }
  return 0;
}
