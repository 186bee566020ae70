// The program's window on Windows: the dialog of the resource script, with
// the line of progress, the message list and the OK button, over a run on a
// thread of its own.
#ifndef KIRATO_APP_WIN32_CONVERTER_DLG_H_
#define KIRATO_APP_WIN32_CONVERTER_DLG_H_

#include <string>

#include "app/common/background_run.h"

// Last: it defines words such as "near" as macros.
#include <windows.h>

namespace kirato {

// How the program was started.
struct DialogSetup {
  // The program file: the datafile and the trace log lie beside it, named
  // after it, and its time makes older outputs out of date.
  std::string programPath;
  // The text after the program's own name on its command line.
  std::string commandLine;
  // Shown as the run's first message, which fails the run (the program
  // could not enter its job folder).
  std::string problem;
};

class CConverterDlg {
 public:
  CConverterDlg(HINSTANCE instance, DialogSetup setup);
  ~CConverterDlg();
  CConverterDlg(const CConverterDlg&) = delete;
  CConverterDlg& operator=(const CConverterDlg&) = delete;

  // Creates the dialog and runs its loop until it ends: by itself after the
  // run, or when the user ends it, during the run too. The command-line
  // program runs first, before the window is shown.
  void DoModal();

  // Waits for the run, which goes on when the user ends the dialog early,
  // and returns the program's exit status.
  int ExitStatus();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM w,
                                     LPARAM l);
  BOOL OnInitDialog(HWND window);
  // Brings the window up to date with the run.
  void ShowPending();
  void OnRunFinished();
  // Ends the dialog's loop.
  void End();
  void WidenList(const std::wstring& line);

  HINSTANCE instance_;
  DialogSetup setup_;
  HICON icon_;
  HICON smallIcon_;
  HWND window_ = nullptr;
  HWND messages_ = nullptr;
  HDC measure_ = nullptr;  // the list's font, to measure lines with
  HGDIOBJ oldFont_ = nullptr;
  LONG widest_ = 0;  // the widest line so far, in pixels
  std::string progressText_;
  bool startFailed_ = false;
  bool finished_ = false;  // the run is over
  bool ended_ = false;     // the dialog's loop is over
  BackgroundRun run_;
  BackgroundRun::Update update_;  // reused from tick to tick
};

}  // namespace kirato

#endif  // KIRATO_APP_WIN32_CONVERTER_DLG_H_
