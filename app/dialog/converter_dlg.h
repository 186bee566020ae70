// The program's window: a fixed-size dialog with the line of progress, the
// message list and the OK button, over a run on a thread of its own.
#ifndef KIRATO_APP_DIALOG_CONVERTER_DLG_H_
#define KIRATO_APP_DIALOG_CONVERTER_DLG_H_

#include <QDialog>
#include <functional>
#include <string>

#include "app/common/background_run.h"

class QIcon;
class QLabel;
class QListWidget;
class QPushButton;
class QTimer;

namespace kirato {

// The program's icon, a Go stone on a board, in every size it ships.
QIcon ProgramIcon();

// What the dialog needs to know about how it was started. The program fills
// it from its arguments; tests fill it to run the dialog in a folder of
// their own.
struct DialogSetup {
  // The path the program was started under (a link in a job folder kept as
  // the link): the datafile and the trace log lie beside it, named after it.
  std::string programPath;
  // The program file itself, whose time makes older outputs out of date.
  std::string programFile;
  // The text after the program's own name (see CommandLineText).
  std::string commandLine;
  // Receives the text shown when the command-line program cannot be
  // started; when empty, a warning box shows it.
  std::function<void(const std::string& text)> showStartFailure;
  // Shown as the run's first message, which fails the run (the program
  // could not enter its job folder).
  std::string problem;
  // The disk the run works on; the system's when null.
  Disk* disk = nullptr;
};

class CConverterDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CConverterDlg(DialogSetup setup, QWidget* parent = nullptr);
  ~CConverterDlg() override;

  // Runs the command-line program, then starts the run and shows the
  // dialog until it ends: by itself after the run, or when the user ends
  // it, during the run too.
  int DoModal();

  // Waits for the run, which goes on when the user ends the dialog early,
  // and returns the program's exit status. The list then holds every line.
  int ExitStatus();

  QListWidget* messageList() const { return messages_; }
  QLabel* progressLine() const { return progress_; }

 signals:
  // The run is over; `closeFlag` non-zero means the dialog is closing
  // itself.
  void runFinished(int closeFlag);

 private:
  void OnInitDialog();
  void ShowStartFailure(const std::string& text);
  // Brings the window up to date with the run.
  void ShowPending();
  void OnRunFinished();
  void LayOut();

  DialogSetup setup_;
  QPushButton* okButton_ = nullptr;
  QLabel* progress_ = nullptr;
  QListWidget* messages_ = nullptr;
  QTimer* ticker_ = nullptr;
  QString progressText_;  // the whole line, before it is cut to fit
  bool startFailed_ = false;
  BackgroundRun run_;
  BackgroundRun::Update update_;  // reused from tick to tick
};

}  // namespace kirato

#endif  // KIRATO_APP_DIALOG_CONVERTER_DLG_H_
