#include "app/cli/options.h"

#include <getopt.h>

#include <string_view>

#include "base/ascii.h"
#include "batch/datafile.h"

namespace kirato {

namespace {

// Long options without a short name are told apart by these codes.
enum : int {
  kCharset = 256,
  kFormats,
  kReport,
  kMirror,
  kHelp,
  kVersion,
};

constexpr option kLongOptions[] = {
    {"force", no_argument, nullptr, 'f'},
    {"dry-run", no_argument, nullptr, 'n'},
    {"quiet", no_argument, nullptr, 'q'},
    {"jobs", required_argument, nullptr, 'j'},
    {"output-dir", required_argument, nullptr, 'o'},
    {"charset", required_argument, nullptr, kCharset},
    {"formats", required_argument, nullptr, kFormats},
    {"report", required_argument, nullptr, kReport},
    {"mirror", no_argument, nullptr, kMirror},
    {"help", no_argument, nullptr, kHelp},
    {"version", no_argument, nullptr, kVersion},
    {nullptr, 0, nullptr, 0},
};

// -j N: a whole number of threads, 0 meaning one per core.
bool ReadThreads(std::string_view value, int* threads) {
  size_t end = 0;
  const long long n = ReadNumber(value, 0, &end);
  if (value.empty() || end != value.size() || n > 256) return false;
  *threads = static_cast<int>(n);
  return true;
}

// Sets the option's value; false when it is not one the option accepts.
bool ReadValue(int code, std::string_view value, CliOptions* o) {
  switch (code) {
    case 'j':
      o->threadsGiven = true;
      return ReadThreads(value, &o->threads);
    case kCharset:
      o->charsetGiven = true;
      return ReadCharsetMode(value, &o->charset);
    case kFormats:
      o->formatsGiven = true;
      return ReadFormatSet(value, &o->formats);
    case 'o':
      o->outputDir = std::string(value);
      return !value.empty();
    case kReport:
      o->report = std::string(value);
      return !value.empty();
  }
  return true;
}

std::string_view LongNameOf(int code) {
  for (const option& o : kLongOptions) {
    if (o.val == code) return o.name;
  }
  return {};
}

}  // namespace

bool ParseOptions(int argc, char** argv, CliOptions* options,
                  std::string* error) {
  error->clear();
  opterr = 1;  // the library names what it cannot read
  optind = 1;
  for (;;) {
    const int code = getopt_long(argc, argv, "fnqj:o:", kLongOptions, nullptr);
    if (code == -1) break;
    switch (code) {
      case 'f':
        options->force = true;
        break;
      case 'n':
        options->dryRun = true;
        break;
      case 'q':
        options->quiet = true;
        break;
      case kMirror:
        options->mirror = true;
        break;
      case kHelp:
        options->help = true;
        return true;
      case kVersion:
        options->version = true;
        return true;
      case '?':
      case ':':
        return false;
      default:
        if (!ReadValue(code, optarg, options)) {
          *error = std::string("invalid argument '")
                       .append(optarg)
                       .append("' for '--")
                       .append(LongNameOf(code))
                       .append("'");
          return false;
        }
    }
  }
  options->operands.assign(argv + optind, argv + argc);
  return true;
}

}  // namespace kirato
