// Feeds arbitrary bytes to the datafile run over an in-memory disk with a
// small tree of records, so every command and the walk behind it are
// reached. The run must end with the summary whatever the datafile holds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "batch/datafile.h"
#include "fake_disk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kirato::TestRun t;
  t.disk.AddFile("/ugf/a.ugf", "[Header]\nTitle=A\n[Data]\nPD,B1,1\n");
  t.disk.AddFile("/ugf/s/b.ugi", "[Data]\nzz\n");
  t.disk.AddLink("/ugf/s/loop", "/ugf");
  t.disk.AddFile("/job/kirato.txt",
                 std::string(reinterpret_cast<const char*>(data), size));
  kirato::RunDatafile(t.run, "/job/kirato.exe");
  if (t.messages.size() < 6) std::abort();
  if (t.messages[t.messages.size() - 5] != "*** summary ***") std::abort();
  return 0;
}
