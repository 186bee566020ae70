// What the window program says and does differently on Windows: its help
// and entering the job folder.
#include "app/common/command_line.h"
#include "app/common/job.h"
#include "batch/path_win32.h"

// Last: it defines words such as "near" as macros.
#include <windows.h>

namespace kirato {

const char* WindowHelpText() {
  return "Usage: kirato.exe [PROGRAM]\n"
         "  or:  kirato.exe --help | --version\n"
         "Carry out the datafile that lies beside this program and show its\n"
         "messages in a window. A copy of kirato.exe named NAME.exe reads\n"
         "NAME.txt in its own folder and writes its trace log NAME.log there,\n"
         "so each job folder holds its own copy and its own datafile. The\n"
         "window closes itself when the datafile ends with CLOSE and nothing\n"
         "went wrong.\n"
         "\n"
         "PROGRAM, when given, is run without arguments and waited for before\n"
         "the datafile is read (a name without an extension is tried with\n"
         ".com, .exe, .bat and .cmd); quote a name that contains blanks.\n"
         "PROGRAM and the datafile's relative paths are taken from the job\n"
         "folder, whatever folder the Task Scheduler starts the program in.\n"
         "\n"
         "The datafile's commands are those of kirato-cli.exe: see\n"
         "'kirato-cli.exe --help' and README.txt beside the programs.\n"
         "\n"
         "      --help      display this help and exit\n"
         "      --version   output version information and exit\n"
         "\n"
         "Exit status (the task's Last Run Result): 0 when no error was\n"
         "reported, 1 when one was or PROGRAM could not be started, 2 when\n"
         "there is no datafile.\n";
}

bool EnterFolder(const std::string& folder, std::string* err) {
  if (::SetCurrentDirectoryW(WideFromUtf8(folder).c_str())) return true;
  *err = ErrorText(::GetLastError());
  return false;
}

}  // namespace kirato
