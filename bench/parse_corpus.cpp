// Parsing and formatting alone: every record of a tree is read into memory
// once, then converted again and again without touching the disk. Prints
// the CPU time a record takes on one core, median of the rounds.
//   parse_corpus TREE [ROUNDS]
#include <dirent.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "convert/convert.h"

namespace {

void Collect(const std::string& dir, std::vector<std::string>* records) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  std::vector<std::string> names;
  while (const dirent* e = readdir(d)) names.emplace_back(e->d_name);
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (name[0] == '.') continue;
    const std::string path = dir + "/" + name;
    struct stat st;
    if (stat(path.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) {
      Collect(path, records);
    } else if (name.size() > 4 && (name.ends_with(".ugf") ||
                                   name.ends_with(".ugi"))) {
      std::ifstream f(path, std::ios::binary);
      std::stringstream s;
      s << f.rdbuf();
      records->push_back(s.str());
    }
  }
}

double CpuSeconds() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: parse_corpus TREE [ROUNDS]\n");
    return 2;
  }
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  std::vector<std::string> records;
  Collect(argv[1], &records);
  if (records.empty()) {
    std::fprintf(stderr, "no records under %s\n", argv[1]);
    return 1;
  }
  size_t bytes = 0;
  for (const std::string& r : records) bytes += r.size();
  std::vector<double> perRecord;
  size_t out = 0;
  // One result for all records, as a worker thread keeps one: its room is
  // used again.
  kirato::GameResult game;
  for (int round = 0; round < rounds; ++round) {
    const double start = CpuSeconds();
    for (const std::string& r : records) {
      kirato::ConvertGame(r, "game.sgf", {}, &game);
      out += game.sgf.size();
    }
    perRecord.push_back((CpuSeconds() - start) / records.size());
  }
  std::sort(perRecord.begin(), perRecord.end());
  const double median = perRecord[perRecord.size() / 2];
  std::printf("%zu records, %.1f KB each on average, %zu bytes of SGF\n",
              records.size(), bytes / 1e3 / records.size(),
              out / static_cast<size_t>(rounds));
  std::printf("parse and format: median %.2f us a record on one core "
              "(%.0f MB/s)\n",
              median * 1e6, bytes / records.size() / median / 1e6);
  return 0;
}
