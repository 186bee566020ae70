#include "app/win32/converter_app.h"

#include <string>

#include "app/common/command_line.h"
#include "app/common/job.h"
#include "batch/path_win32.h"
#include "batch/process.h"

namespace kirato {

CConverterApp::CConverterApp(HINSTANCE instance) : instance_(instance) {
  setup_.programPath = SelfExecutablePath();
  // The command line as the user typed it: the quotes in it decide where
  // the name of the program to run first ends.
  setup_.commandLine = std::string(
      TextAfterProgramName(Utf8FromWide(::GetCommandLineW())));
  // A folder that cannot be entered is the run's first message.
  EnterJobFolder(JobFilesOf(setup_.programPath), &setup_.problem);
}

int CConverterApp::InitInstance() {
  CConverterDlg dialog(instance_, setup_);
  dialog.DoModal();
  return dialog.ExitStatus();
}

}  // namespace kirato
