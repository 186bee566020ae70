// The window program as a whole on Windows: reads how it was started, then
// runs the one dialog.
#ifndef KIRATO_APP_WIN32_CONVERTER_APP_H_
#define KIRATO_APP_WIN32_CONVERTER_APP_H_

#include <windows.h>

#include "app/win32/converter_dlg.h"

namespace kirato {

class CConverterApp {
 public:
  explicit CConverterApp(HINSTANCE instance);

  // Runs the dialog until it ends. Returns the process's exit status.
  int InitInstance();

 private:
  HINSTANCE instance_;
  DialogSetup setup_;
};

}  // namespace kirato

#endif  // KIRATO_APP_WIN32_CONVERTER_APP_H_
