// What the window program says and does differently on POSIX systems:
// its help and entering the job folder.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "app/common/command_line.h"
#include "app/common/job.h"

namespace kirato {

const char* WindowHelpText() {
  return "Usage: kirato [PROGRAM]\n"
         "  or:  kirato --help | --version\n"
         "Carry out the datafile that lies beside this program and show its\n"
         "messages in a window. A program file or link named NAME reads\n"
         "NAME.txt in its own folder and writes its trace log NAME.log there,\n"
         "so a link to kirato in a job folder runs that folder's job. The\n"
         "window closes itself when the datafile ends with CLOSE and nothing\n"
         "went wrong.\n"
         "\n"
         "PROGRAM, when given, is run without arguments and waited for before\n"
         "the datafile is read; quote a name that contains blanks. PROGRAM and\n"
         "the datafile's relative paths are taken from the job folder, whatever\n"
         "folder the program is started in.\n"
         "\n"
         "The datafile's commands are those of kirato-cli: see 'kirato-cli\n"
         "--help' and the manual page kirato-cli(1).\n"
         "\n"
         "      --help      display this help and exit\n"
         "      --version   output version information and exit\n"
         "\n"
         "Exit status: 0 when no error was reported, 1 when one was or PROGRAM\n"
         "could not be started, 2 when there is no datafile.\n";
}

bool EnterFolder(const std::string& folder, std::string* err) {
  if (::chdir(folder.c_str()) == 0) return true;
  *err = std::strerror(errno);
  return false;
}

}  // namespace kirato
