// The command line of the window programs: the program a user names after
// `kirato` is run, and waited for, before the datafile. Free of any window
// toolkit, so that the Linux and the Windows window follow the same rules
// and the rules can be tested on their own.
#ifndef KIRATO_APP_COMMON_COMMAND_LINE_H_
#define KIRATO_APP_COMMON_COMMAND_LINE_H_

#include <string>
#include <string_view>
#include <vector>

namespace kirato {

// At most this many characters of the command line name the program.
constexpr size_t kMaxProgramNameLength = 997;

// The text a user typed after the program's own name, rebuilt from the
// arguments the shell split it into: joined with single blanks, an argument
// that holds a blank or a tab wrapped in double quotes. Quotes are what tell
// a name with blanks from a name followed by further words.
std::string CommandLineText(const std::vector<std::string>& arguments);

// The text after the program's own name in a command line that the system
// hands over whole, as Windows does: a name that begins with a double quote
// ends at the next one, any other at the first blank or tab; the blanks and
// tabs after it are skipped.
std::string_view TextAfterProgramName(std::string_view commandLine);

// The program that `commandLine` names: leading whitespace skipped; an
// opening double or single quote ends the name at its next occurrence;
// without a quote the name is the whole rest of the text, blanks and further
// words included. At most kMaxProgramNameLength characters.
std::string CommandLineProgramName(std::string_view commandLine);

// The text shown when the program cannot be started, `error` an errno value.
std::string StartFailureText(const std::string& programName, int error);

// The window program's help, in the words of the system it runs on (job
// folders of links on Linux, of copies on Windows). One each per system.
const char* WindowHelpText();

// The answer to `kirato --help` or `kirato --version` given as the first
// argument: the text for standard output. Empty for any other first
// argument, which begins the name of a program to run first.
std::string InfoOptionText(std::string_view firstArgument);

// Runs the program that `commandLine` names, with no arguments, and waits
// for it, whatever its exit status. Returns false with *failureText set when
// it cannot be started; true when it ran or the command line is empty.
bool RunCommandLineProgram(const std::string& commandLine,
                           std::string* failureText);

}  // namespace kirato

#endif  // KIRATO_APP_COMMON_COMMAND_LINE_H_
