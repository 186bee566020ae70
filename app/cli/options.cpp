#include "app/cli/options.h"

#include <string_view>

#include "batch/datafile.h"

namespace kirato {

namespace {

// A switch sets its flag; an option with a value hands the value to its
// reader instead.
struct OptionSpec {
  char shortName;  // '\0' for an option that has a long name only
  std::string_view longName;
  bool CliOptions::*flag;
  // Stores the value; false when it is not one the option accepts.
  bool (*readValue)(CliOptions* options, std::string_view value);
  bool TakesValue() const { return readValue != nullptr; }
};

// -j N: a whole number of threads, 0 meaning one per core.
bool ReadThreads(CliOptions* options, std::string_view value) {
  if (value.empty() || value.size() > 3) return false;
  int n = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  if (n > 256) return false;
  options->threads = n;
  options->threadsGiven = true;
  return true;
}

bool ReadCharset(CliOptions* options, std::string_view value) {
  options->charsetGiven = true;
  return ReadCharsetMode(value, &options->charset);
}

constexpr OptionSpec kOptions[] = {
    {'f', "force", &CliOptions::force, nullptr},
    {'n', "dry-run", &CliOptions::dryRun, nullptr},
    {'q', "quiet", &CliOptions::quiet, nullptr},
    {'j', "jobs", nullptr, ReadThreads},
    {'\0', "charset", nullptr, ReadCharset},
    {'\0', "help", &CliOptions::help, nullptr},
    {'\0', "version", &CliOptions::version, nullptr},
};

// `prefix` and `text` in single quotes, as the messages show names and
// values. Built by appending: g++ 12 warns wrongly on some concatenations.
std::string Quoted(std::string_view text, std::string_view prefix = {}) {
  std::string quoted;
  quoted.reserve(prefix.size() + text.size() + 2);
  quoted.append("'").append(prefix).append(text).append("'");
  return quoted;
}

// The option that `arg` ("--name" or "--name=value") names: the one of that
// name, else the only one whose name begins with it.
const OptionSpec* FindLong(std::string_view arg, std::string_view name,
                           std::string* error) {
  const OptionSpec* found = nullptr;
  int prefixMatches = 0;
  for (const OptionSpec& spec : kOptions) {
    if (spec.longName == name) return &spec;
    if (!name.empty() && spec.longName.starts_with(name)) {
      found = &spec;
      ++prefixMatches;
    }
  }
  if (prefixMatches == 1) return found;
  if (prefixMatches == 0) {
    *error = "unrecognized option " + Quoted(arg);
  } else {
    *error = "option " + Quoted(name, "--") + " is ambiguous";
  }
  return nullptr;
}

const OptionSpec* FindShort(char name, std::string* error) {
  for (const OptionSpec& spec : kOptions) {
    if (spec.shortName == name && name != '\0') return &spec;
  }
  *error = "invalid option -- " + Quoted(std::string_view(&name, 1));
  return nullptr;
}

int ReadValue(const OptionSpec& spec, std::string_view value,
              CliOptions* options, std::string* error) {
  if (spec.readValue(options, value)) return 0;
  *error = "invalid argument " + Quoted(value) + " for " +
           Quoted(spec.longName, "--");
  return -1;
}

// One "--name" or "--name=value" argument; a value may also be the next
// argument, which *next then points past.
int ParseLong(std::string_view arg, int argc, const char* const* argv,
              int* next, CliOptions* options, std::string* error) {
  const size_t eq = arg.find('=');
  const std::string_view name = arg.substr(2, eq - 2);
  const OptionSpec* spec = FindLong(arg, name, error);
  if (!spec) return -1;
  if (!spec->TakesValue()) {
    if (eq == std::string_view::npos) {
      options->*spec->flag = true;
      return 0;
    }
    *error = "option " + Quoted(spec->longName, "--") + " doesn't allow an argument";
    return -1;
  }
  if (eq != std::string_view::npos) {
    return ReadValue(*spec, arg.substr(eq + 1), options, error);
  }
  if (*next >= argc) {
    *error = "option " + Quoted(spec->longName, "--") + " requires an argument";
    return -1;
  }
  return ReadValue(*spec, argv[(*next)++], options, error);
}

// A group of short options such as "-fq"; an option with a value takes the
// rest of the group ("-j2") or else the next argument.
int ParseShort(std::string_view arg, int argc, const char* const* argv,
               int* next, CliOptions* options, std::string* error) {
  for (size_t i = 1; i < arg.size(); ++i) {
    const OptionSpec* spec = FindShort(arg[i], error);
    if (!spec) return -1;
    if (!spec->TakesValue()) {
      options->*spec->flag = true;
      continue;
    }
    if (i + 1 < arg.size()) {
      return ReadValue(*spec, arg.substr(i + 1), options, error);
    }
    if (*next >= argc) {
      *error = "option requires an argument -- " +
               Quoted(arg.substr(i, 1));
      return -1;
    }
    return ReadValue(*spec, argv[(*next)++], options, error);
  }
  return 0;
}

}  // namespace

int ParseOptions(int argc, const char* const* argv, CliOptions* options,
                 std::string* error) {
  bool optionsEnded = false;
  int next = 1;
  while (next < argc && !options->help && !options->version) {
    const std::string_view arg = argv[next++];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      options->operands.emplace_back(arg);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg[1] == '-') {
      if (ParseLong(arg, argc, argv, &next, options, error) != 0) return -1;
    } else if (ParseShort(arg, argc, argv, &next, options, error) != 0) {
      return -1;
    }
  }
  return 0;
}

}  // namespace kirato
