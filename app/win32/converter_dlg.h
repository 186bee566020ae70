// The program's window on Windows: the dialog of the resource script, with
// the message list, the OK button and a hidden Start button that the dialog
// presses itself.
#ifndef KIRATO_APP_WIN32_CONVERTER_DLG_H_
#define KIRATO_APP_WIN32_CONVERTER_DLG_H_

#include <string>
#include <string_view>

#include "batch/run_state.h"

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
};

class CConverterDlg {
 public:
  CConverterDlg(HINSTANCE instance, DialogSetup setup);
  ~CConverterDlg();
  CConverterDlg(const CConverterDlg&) = delete;
  CConverterDlg& operator=(const CConverterDlg&) = delete;

  // Creates the dialog and runs its loop until it ends. The command-line
  // program runs first, before the window is shown; the run starts by
  // itself once the loop runs.
  INT_PTR DoModal();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM w,
                                     LPARAM l);
  BOOL OnInitDialog(HWND window);
  void OnStart();
  void AppendMessage(std::string_view line);
  void ShowLatestMessage();
  void WidenList(const std::wstring& line);

  HINSTANCE instance_;
  DialogSetup setup_;
  HICON icon_;
  HICON smallIcon_;
  HWND window_ = nullptr;
  HWND messages_ = nullptr;
  HDC measure_ = nullptr;  // the list's font, to measure lines with
  HGDIOBJ oldFont_ = nullptr;
  LONG widest_ = 0;        // the widest line so far, in pixels
  ULONGLONG shownAt_ = 0;  // when the list was last brought up to date
  bool shown_ = false;
  Run run_;
};

}  // namespace kirato

#endif  // KIRATO_APP_WIN32_CONVERTER_DLG_H_
