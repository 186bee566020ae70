#include "app/win32/converter_dlg.h"

#include "app/common/command_line.h"
#include "app/win32/resource.h"
#include "batch/datafile.h"
#include "batch/disk.h"
#include "batch/path.h"
#include "batch/path_win32.h"

namespace kirato {

namespace {

// The program file's name without folder and extension, as the captions of
// its message boxes show it.
std::wstring ApplicationName(const std::string& programPath) {
  const std::string name(SystemPaths().FileName(programPath));
  return WideFromUtf8(ReplaceFileExtension(name, ""));
}

// Queues what a click on the dialog's button `id` sends, for when the
// handler that runs now has returned.
void PostClick(HWND dialog, int id) {
  ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
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
      run_(SystemDisk(),
           [this](NoteKind, std::string_view line) { AppendMessage(line); }) {}

CConverterDlg::~CConverterDlg() {
  if (measure_) {
    ::SelectObject(measure_, oldFont_);
    ::DeleteDC(measure_);
  }
  if (smallIcon_) ::DestroyIcon(smallIcon_);
}

INT_PTR CConverterDlg::DoModal() {
  return ::DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                           DialogProc, reinterpret_cast<LPARAM>(this));
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
          // During a run the dialog ends once the run is over.
          ::EndDialog(window, LOWORD(w));
          return TRUE;
        case IDC_START:
          if (HIWORD(w) == BN_CLICKED) dialog->OnStart();
          return TRUE;
      }
      break;
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
    ::MessageBoxW(nullptr, WideFromUtf8(failure).c_str(),
                  ApplicationName(setup_.programPath).c_str(),
                  MB_OK | MB_ICONEXCLAMATION);
  }
  PostClick(window, IDC_START);
  return TRUE;
}

void CConverterDlg::OnStart() {
  const int closeFlag = RunDatafile(run_, setup_.programPath);
  ShowLatestMessage();
  // A dialog that the user ended during the run is already on its way out.
  if (closeFlag != 0 && ::IsWindowVisible(window_)) PostClick(window_, IDOK);
}

void CConverterDlg::AppendMessage(std::string_view line) {
  const std::wstring wide = WideFromUtf8(line);
  ::SendMessageW(messages_, LB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(wide.c_str()));
  WidenList(wide);
  // Selecting, scrolling to and painting every line would cost many times
  // the conversion of a record: the window catches up with the list at the
  // first line and then at most every 50 ms, and once more at the end.
  if (!shown_ || ::GetTickCount64() - shownAt_ >= 50) ShowLatestMessage();
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

void CConverterDlg::ShowLatestMessage() {
  const LRESULT count = ::SendMessageW(messages_, LB_GETCOUNT, 0, 0);
  if (count > 0) ::SendMessageW(messages_, LB_SETCURSEL, count - 1, 0);
  // The run works on this thread: handling what is pending keeps the window
  // painted and its OK button and close box answering. Key presses are
  // translated but not handed on, so no key ends the dialog mid-run.
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!::TranslateMessage(&msg)) ::DispatchMessageW(&msg);
  }
  shownAt_ = ::GetTickCount64();
  shown_ = true;
}

}  // namespace kirato
