// The dialog program as a whole: takes its arguments apart before the window
// toolkit sees them, then runs the one dialog.
#ifndef KIRATO_APP_DIALOG_CONVERTER_APP_H_
#define KIRATO_APP_DIALOG_CONVERTER_APP_H_

#include <memory>
#include <string>

#include "app/dialog/converter_dlg.h"

class QApplication;

namespace kirato {

class CConverterApp {
 public:
  CConverterApp(int argc, char** argv);
  ~CConverterApp();

  // Runs the dialog until it ends. Returns the process's exit status.
  int InitInstance();

 private:
  DialogSetup setup_;
  // The toolkit sees the program's name only: every further argument belongs
  // to the command-line program, none is a toolkit option.
  std::string toolkitName_;
  int toolkitArgc_ = 1;
  char* toolkitArgv_[2] = {nullptr, nullptr};
  std::unique_ptr<QApplication> application_;
};

}  // namespace kirato

#endif  // KIRATO_APP_DIALOG_CONVERTER_APP_H_
