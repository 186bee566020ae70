// Parsing and formatting alone: every record of a tree is read into memory
// once, then converted again and again without touching the disk. Prints
// the CPU time a record takes on one core, median of the rounds, for all
// records and, in a tree of several formats, for the records of each.
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

struct Record {
  kirato::RecordFormat format;
  std::string bytes;
};

void Collect(const std::string& dir, std::vector<Record>* records) {
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
    } else if (kirato::RecordFormat format;
               kirato::RecordFormatOf(name, &format)) {
      std::ifstream f(path, std::ios::binary);
      std::stringstream s;
      s << f.rdbuf();
      records->push_back({format, s.str()});
    }
  }
}

size_t MoveNodes(const std::string& sgf) {
  size_t count = 0;
  for (size_t i = 0; i + 2 < sgf.size(); ++i) {
    count += sgf[i] == ';' && (sgf[i + 1] == 'B' || sgf[i + 1] == 'W') &&
             sgf[i + 2] == '[';
  }
  return count;
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
  std::vector<Record> records;
  Collect(argv[1], &records);
  if (records.empty()) {
    std::fprintf(stderr, "no records under %s\n", argv[1]);
    return 1;
  }
  constexpr const char* kNames[] = {"UGF", "GIB", "NGF"};
  struct Figures {
    size_t count = 0;
    size_t bytes = 0;
    size_t moves = 0;  // move nodes written, counted in the first round
    std::vector<double> seconds;  // a round's time for all of them
  } all, each[3];
  for (const Record& r : records) {
    Figures& f = each[static_cast<int>(r.format)];
    ++f.count;
    f.bytes += r.bytes.size();
    ++all.count;
    all.bytes += r.bytes.size();
  }
  size_t out = 0;
  // One result for all records, as a worker thread keeps one: its room is
  // used again.
  kirato::GameResult game;
  kirato::ConvertOptions options;
  for (int round = 0; round < rounds; ++round) {
    double total = 0;
    for (int format = 0; format < 3; ++format) {
      if (each[format].count == 0) continue;
      options.format = static_cast<kirato::RecordFormat>(format);
      const double start = CpuSeconds();
      for (const Record& r : records) {
        if (r.format != options.format) continue;
        kirato::ConvertGame(r.bytes, "game.sgf", options, &game);
        out += game.sgf.size();
        if (round == 0) each[format].moves += MoveNodes(game.sgf);
      }
      const double spent = CpuSeconds() - start;
      each[format].seconds.push_back(spent);
      total += spent;
    }
    all.seconds.push_back(total);
  }
  const auto report = [](const char* what, Figures& f) {
    std::sort(f.seconds.begin(), f.seconds.end());
    const double median = f.seconds[f.seconds.size() / 2] / f.count;
    std::printf("%s: median %.2f us a record of %.1f KB on one core "
                "(%.0f MB/s",
                what, median * 1e6, f.bytes / 1e3 / f.count,
                f.bytes / f.count / median / 1e6);
    // Records of the denser formats hold more moves in fewer bytes.
    if (f.moves > 0) {
      std::printf(", %.0f ns a move of %zu a record",
                  median * 1e9 * f.count / f.moves, f.moves / f.count);
    }
    std::printf(")\n");
  };
  std::printf("%zu records, %.1f KB each on average, %zu bytes of SGF\n",
              records.size(), all.bytes / 1e3 / records.size(),
              out / static_cast<size_t>(rounds));
  for (const Figures& f : each) all.moves += f.moves;
  report("parse and format", all);
  for (int format = 0; format < 3; ++format) {
    if (each[format].count > 0 && each[format].count < all.count) {
      report(kNames[format], each[format]);
    }
  }
  return 0;
}
