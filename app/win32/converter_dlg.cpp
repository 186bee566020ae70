#include "app/win32/converter_dlg.h"

#include "app/common/command_line.h"
#include "app/win32/resource.h"
#include "batch/datafile.h"
#include "batch/disk.h"
#include "batch/path.h"
#include "batch/path_win32.h"

namespace kirato {

namespace {

constexpr UINT_PTR kTicker = 1;
// Posted from the run's thread when the run is over.
constexpr UINT kRunFinished = WM_APP + 1;

// The program file's name without folder and extension, as the captions of
// its message boxes show it.
std::wstring ApplicationName(const std::string& programPath) {
  const std::string name(SystemPaths().FileName(programPath));
  return WideFromUtf8(ReplaceFileExtension(name, ""));
}

}  // namespace

CConverterDlg::CConverterDlg(HINSTANCE instance, DialogSetup setup)
    : instance_(instance),
      setup_(std::move(setup)),
      icon_(::LoadIconW(instance, MAKEINTRESOURCEW(IDI_PROGRAM))),
      smallIcon_(static_cast<HICON>(::LoadImageW(
          instance, MAKEINTRESOURCEW(IDI_PROGRAM), IMAGE_ICON,
          ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
          0))),
      run_(SystemDisk()) {}

CConverterDlg::~CConverterDlg() {
  run_.Detach();
  if (measure_) {
    ::SelectObject(measure_, oldFont_);
    ::DeleteDC(measure_);
  }
  if (smallIcon_) ::DestroyIcon(smallIcon_);
}

void CConverterDlg::DoModal() {
  HWND window =
      ::CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                           DialogProc, reinterpret_cast<LPARAM>(this));
  MSG msg;
  while (window && !ended_ && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!::IsDialogMessageW(window, &msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  if (!window) return;
  run_.Detach();
  ::KillTimer(window, kTicker);
  ::SetWindowLongPtrW(window, DWLP_USER, 0);
  // One that the user closed during the run is hidden already and goes
  // now, while the run finishes. One that is still shown goes with the
  // process: hiding it first would gain nothing and cost Wine, without a
  // window manager, two seconds of waiting for one to answer.
  if (!finished_) ::DestroyWindow(window);
}

void CConverterDlg::End() {
  // A run that goes on is left to finish without a window.
  if (!finished_) ::ShowWindow(window_, SW_HIDE);
  ended_ = true;
}

INT_PTR CALLBACK CConverterDlg::DialogProc(HWND window, UINT message,
                                           WPARAM w, LPARAM l) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(window, DWLP_USER, l);
    return reinterpret_cast<CConverterDlg*>(l)->OnInitDialog(window);
  }
  auto* dialog = reinterpret_cast<CConverterDlg*>(
      ::GetWindowLongPtrW(window, DWLP_USER));
  if (!dialog) return FALSE;
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(w)) {
        case IDOK:
        case IDCANCEL:
          dialog->End();
          return TRUE;
      }
      break;
    case WM_TIMER:
      if (w == kTicker) dialog->ShowPending();
      return TRUE;
    case kRunFinished:
      dialog->OnRunFinished();
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(dialog->icon_);
  }
  return FALSE;
}

// Runs before the window is shown: while the command-line program runs, or
// its failure is reported, the dialog is not yet on the screen.
BOOL CConverterDlg::OnInitDialog(HWND window) {
  window_ = window;
  ::SendMessageW(window, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(icon_));
  ::SendMessageW(window, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(smallIcon_ ? smallIcon_ : icon_));
  messages_ = ::GetDlgItem(window, IDC_MESSAGES);
  measure_ = ::CreateCompatibleDC(nullptr);
  oldFont_ = ::SelectObject(
      measure_, reinterpret_cast<HGDIOBJ>(
                    ::SendMessageW(messages_, WM_GETFONT, 0, 0)));
  std::string failure;
  if (!RunCommandLineProgram(setup_.commandLine, &failure)) {
    startFailed_ = true;
    ::MessageBoxW(nullptr, WideFromUtf8(failure).c_str(),
                  ApplicationName(setup_.programPath).c_str(),
                  MB_OK | MB_ICONEXCLAMATION);
  }
  // The end of the run is told from the run's thread; the dialog takes it
  // up in its own loop, at once rather than at the next tick.
  run_.Start(JobFilesOf(setup_.programPath), setup_.programPath,
             setup_.problem,
             [window] { ::PostMessageW(window, kRunFinished, 0, 0); });
  ::SetTimer(window, kTicker, BackgroundRun::kTickMs, nullptr);
  return TRUE;
}

void CConverterDlg::ShowPending() {
  run_.Take(&update_);
  if (!update_.lines.empty()) {
    // One repaint for the lot, not one a line.
    ::SendMessageW(messages_, WM_SETREDRAW, FALSE, 0);
    for (const std::string& line : update_.lines) {
      const std::wstring wide = WideFromUtf8(line);
      ::SendMessageW(messages_, LB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(wide.c_str()));
      WidenList(wide);
    }
    const LRESULT count = ::SendMessageW(messages_, LB_GETCOUNT, 0, 0);
    ::SendMessageW(messages_, LB_SETCURSEL, count - 1, 0);
    ::SendMessageW(messages_, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(messages_, nullptr, TRUE);
  }
  const std::string text = ProgressText(update_.records, update_.folder);
  if (text != progressText_) {
    progressText_ = text;
    ::SetDlgItemTextW(window_, IDC_PROGRESS, WideFromUtf8(text).c_str());
  }
}

void CConverterDlg::OnRunFinished() {
  ::KillTimer(window_, kTicker);
  ShowPending();
  finished_ = true;
  if (run_.Wait().closes) End();
}

int CConverterDlg::ExitStatus() {
  JobOutcome outcome = run_.Wait();
  outcome.startFailed = startFailed_;
  return ExitStatusOf(outcome);
}

// A path longer than the list is wide can be scrolled to.
void CConverterDlg::WidenList(const std::wstring& line) {
  SIZE size;
  if (!measure_ || !::GetTextExtentPoint32W(measure_, line.c_str(),
                                            static_cast<int>(line.size()),
                                            &size)) {
    return;
  }
  if (size.cx + 8 <= widest_) return;
  widest_ = size.cx + 8;
  ::SendMessageW(messages_, LB_SETHORIZONTALEXTENT, widest_, 0);
}

}  // namespace kirato
