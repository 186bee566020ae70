// The command line of kirato-cli, read by the C library's getopt_long in
// the GNU manner: short options that may be grouped, long ones that may be
// shortened while they stay unambiguous, options anywhere among the
// operands, "--" to end them.
#ifndef KIRATO_APP_CLI_OPTIONS_H_
#define KIRATO_APP_CLI_OPTIONS_H_

#include <string>
#include <vector>

#include "batch/record_names.h"
#include "convert/convert.h"

namespace kirato {

struct CliOptions {
  bool help = false;
  bool version = false;
  bool force = false;
  bool dryRun = false;
  bool quiet = false;
  bool mirror = false;  // IN trees keep their folders under OUT
  int threads = 0;  // records converted at once; 0: one per core
  CharsetMode charset = CharsetMode::kDecode;
  FormatSet formats = kDefaultFormats;
  std::string report;     // the report's file, "-" standard output
  std::string outputDir;  // convert -o DIR
  // Given on the command line, they hold over the datafile's lines.
  bool threadsGiven = false;
  bool charsetGiven = false;
  bool formatsGiven = false;
  std::vector<std::string> operands;  // in their order, options removed
};

// Reads argv[1..argc-1]. False, with *error set to what is wrong in the
// words that follow "kirato-cli: ", for an option that is unknown, lacks
// its value, or has one it does not accept.
bool ParseOptions(int argc, char** argv, CliOptions* options,
                  std::string* error);

}  // namespace kirato

#endif  // KIRATO_APP_CLI_OPTIONS_H_
