// The command line of kirato-cli: options in the GNU manner (short ones
// that may be grouped, long ones that may be shortened while they stay
// unambiguous, "--" to end them) and the words that remain.
#ifndef KIRATO_APP_CLI_OPTIONS_H_
#define KIRATO_APP_CLI_OPTIONS_H_

#include <string>
#include <vector>

#include "convert/convert.h"

namespace kirato {

struct CliOptions {
  bool help = false;
  bool version = false;
  bool force = false;
  bool dryRun = false;
  bool quiet = false;
  int threads = 0;  // records converted at once; 0: one per core
  CharsetMode charset = CharsetMode::kDecode;
  // Given on the command line, they hold over the datafile's lines.
  bool threadsGiven = false;
  bool charsetGiven = false;
  std::vector<std::string> operands;  // in their order, options removed
};

// Reads argv[1..argc-1]. Options may stand before, between and after the
// operands; a lone "-" is an operand. Reading stops at --help or --version.
// 0 on success; -1 with *error set to what is wrong, in the words that
// follow "kirato-cli: ".
int ParseOptions(int argc, const char* const* argv, CliOptions* options,
                 std::string* error);

}  // namespace kirato

#endif  // KIRATO_APP_CLI_OPTIONS_H_
