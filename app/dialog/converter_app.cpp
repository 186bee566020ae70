#include "app/dialog/converter_app.h"

#include <QApplication>
#include <QIcon>
#include <QString>
#include <string>
#include <vector>

#include "app/common/command_line.h"
#include "app/common/job.h"
#include "batch/datafile.h"
#include "batch/path.h"
#include "batch/process.h"

namespace kirato {

namespace {

// The program's file name without directory and extension: a link named
// after a job gives the job's name to the message box captions.
QString ApplicationName(const std::string& programPath) {
  const std::string name(SystemPaths().FileName(programPath));
  return QString::fromLocal8Bit(ReplaceFileExtension(name, "").c_str());
}

}  // namespace

CConverterApp::CConverterApp(int argc, char** argv) {
  setup_.programPath = InvokedProgramPath(argc > 0 ? argv[0] : nullptr);
  setup_.programFile = SelfExecutablePath();
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  setup_.commandLine = CommandLineText(arguments);
  // A folder that cannot be entered is the run's first message.
  EnterJobFolder(JobFilesOf(setup_.programPath), &setup_.problem);

  toolkitName_ = argc > 0 && argv[0] ? argv[0] : "kirato";
  toolkitArgv_[0] = toolkitName_.data();
  application_ = std::make_unique<QApplication>(toolkitArgc_, toolkitArgv_);
  QApplication::setApplicationName(ApplicationName(setup_.programPath));
  QApplication::setApplicationVersion(QStringLiteral("1.0.0.1"));
  QApplication::setDesktopFileName(QStringLiteral("kirato"));
  QApplication::setWindowIcon(ProgramIcon());
  // The dialog's own loop decides when the program ends: after a run that
  // the user interrupted by closing the window, once the run is over.
  QApplication::setQuitOnLastWindowClosed(false);
}

CConverterApp::~CConverterApp() = default;

int CConverterApp::InitInstance() {
  CConverterDlg dialog(setup_);
  dialog.DoModal();
  return dialog.ExitStatus();
}

}  // namespace kirato
