#include "app/cli/options.h"

#include <getopt.h>

#include <string_view>

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

// Sets the option's value; false when it is not one the option accepts.
bool ReadValue(int code, std::string_view value, CliOptions* o) {
  switch (code) {
    case 'j':
      o->threadsGiven = true;
      return ReadThreadCount(value, &o->threads);
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

constexpr char kShortOptions[] = ":fnqj:o:";

// `text` in quotes, after `prefix` ("--" for a long option's name).
std::string Quoted(std::string_view text, std::string_view prefix = {}) {
  std::string quoted = "'";
  return quoted.append(prefix).append(text).append("'");
}

// What is wrong with the long option `arg` ("--name" or "--name=value").
std::string LongOptionProblem(std::string_view arg) {
  const size_t eq = arg.find('=');
  const std::string_view name = arg.substr(2, eq - 2);
  const option* found = nullptr;
  int matches = 0;
  for (const option& o : kLongOptions) {
    if (o.name == nullptr || !std::string_view(o.name).starts_with(name)) {
      continue;
    }
    found = &o;
    ++matches;
    if (name == o.name) {
      matches = 1;
      break;
    }
  }
  if (matches == 0 || name.empty()) return "unrecognized option " + Quoted(arg);
  if (matches > 1) return "option " + Quoted(name, "--") + " is ambiguous";
  const std::string full = Quoted(found->name, "--");
  if (found->has_arg == no_argument) {
    return "option " + full + " doesn't allow an argument";
  }
  return "option " + full + " requires an argument";
}

// What getopt_long found wrong, said in the GNU tools' words. Its own
// messages name the program as the system started it and differ between
// C libraries; these read alike everywhere.
std::string OptionProblem(int argc, char** argv) {
  const bool shortOption =
      optopt != 0 && std::string_view(kShortOptions).find(static_cast<char>(
                         optopt)) != std::string_view::npos;
  const int at = optind - 1 < argc ? optind - 1 : argc - 1;
  const std::string_view arg = at > 0 ? argv[at] : "";
  // An option of a group ("-fz") fails before the group is passed, so the
  // element before it may be a long option: the option's own letter tells.
  if (arg.starts_with("--") && arg.size() > 2 &&
      (optopt == 0 || optopt >= 256 ||
       LongNameOf(optopt).starts_with(arg.substr(2, arg.find('=') - 2)))) {
    return LongOptionProblem(arg);
  }
  const std::string letter(1, static_cast<char>(optopt));
  if (shortOption) return "option requires an argument -- " + Quoted(letter);
  return "invalid option -- " + Quoted(letter);
}

}  // namespace

bool ParseOptions(int argc, char** argv, CliOptions* options,
                  std::string* error) {
  error->clear();
  opterr = 0;  // what is wrong is said below
  optind = 1;
  for (;;) {
    const int code =
        getopt_long(argc, argv, kShortOptions, kLongOptions, nullptr);
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
        *error = OptionProblem(argc, argv);
        return false;
      default:
        if (!ReadValue(code, optarg, options)) {
          *error = "invalid argument " + Quoted(optarg) + " for " +
                   Quoted(LongNameOf(code), "--");
          return false;
        }
    }
  }
  options->operands.assign(argv + optind, argv + argc);
  return true;
}

}  // namespace kirato
