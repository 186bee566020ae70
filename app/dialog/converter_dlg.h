// The program's window: a fixed-size dialog with the message list, the OK
// button and a hidden Start button that the dialog presses itself.
#ifndef KIRATO_APP_DIALOG_CONVERTER_DLG_H_
#define KIRATO_APP_DIALOG_CONVERTER_DLG_H_

#include <QDialog>
#include <QElapsedTimer>
#include <functional>
#include <string>
#include <string_view>

#include "batch/run_state.h"

class QIcon;
class QListWidget;
class QPushButton;

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
};

class CConverterDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CConverterDlg(DialogSetup setup, QWidget* parent = nullptr);
  ~CConverterDlg() override;

  // Runs the command-line program, then shows the dialog and runs its event
  // loop until it ends; the run starts by itself once the loop runs.
  int DoModal();

  QListWidget* messageList() const { return messages_; }

 signals:
  // The run is over; `closeFlag` non-zero means the dialog is closing
  // itself.
  void runFinished(int closeFlag);

 private slots:
  void OnStart();

 private:
  void OnInitDialog();
  void ShowStartFailure(const std::string& text);
  void AppendMessage(std::string_view line);
  void ShowLatestMessage();
  void LayOut();

  DialogSetup setup_;
  QPushButton* okButton_ = nullptr;
  QListWidget* messages_ = nullptr;
  QPushButton* startButton_ = nullptr;
  QElapsedTimer sinceShown_;  // since the list was last brought up to date
  Run run_;
};

}  // namespace kirato

#endif  // KIRATO_APP_DIALOG_CONVERTER_DLG_H_
