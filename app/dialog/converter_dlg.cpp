#include "app/dialog/converter_dlg.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QIcon>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QString>

#include "app/common/command_line.h"
#include "batch/datafile.h"
#include "batch/disk.h"

// The icons are compiled into the dialog's library; naming its registration
// here keeps the linker from dropping it. Outside the namespace, as the
// registration function is.
static void RegisterIcons() { Q_INIT_RESOURCE(kirato); }

namespace kirato {

namespace {

// Converts dialog units, which scale with the font, into pixels: a
// horizontal unit is a quarter of the font's average character width, a
// vertical unit an eighth of its height.
class DialogUnits {
 public:
  explicit DialogUnits(const QFontMetrics& metrics) {
    const QString letters = QStringLiteral(
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX_ = (metrics.horizontalAdvance(letters) / 26 + 1) / 2;
    baseY_ = metrics.height();
  }
  QRect Rect(int x, int y, int width, int height) const {
    return QRect(X(x), Y(y), X(width), Y(height));
  }
  QSize Size(int width, int height) const {
    return QSize(X(width), Y(height));
  }

 private:
  int X(int units) const { return (units * baseX_ + 2) / 4; }
  int Y(int units) const { return (units * baseY_ + 4) / 8; }
  int baseX_ = 0;
  int baseY_ = 0;
};

QString FromBytes(std::string_view text) {
  return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QIcon ProgramIcon() {
  RegisterIcons();
  QIcon icon;
  for (const int size : {32, 48, 64, 128, 256}) {
    icon.addFile(QStringLiteral(":/kirato/kirato-%1.png").arg(size),
                 QSize(size, size));
  }
  return icon;
}

CConverterDlg::CConverterDlg(DialogSetup setup, QWidget* parent)
    : QDialog(parent,
              Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                  Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      setup_(std::move(setup)),
      run_(SystemDisk(), [this](NoteKind, std::string_view line) { AppendMessage(line); }) {
  setWindowTitle(QStringLiteral("kirato v1.0"));
  setWindowIcon(ProgramIcon());

  // Created in tab order: OK first, so that it has the focus at the start.
  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setDefault(true);
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

  messages_ = new QListWidget(this);
  messages_->setObjectName(QStringLiteral("messages"));
  messages_->setSelectionMode(QAbstractItemView::SingleSelection);
  messages_->setUniformItemSizes(true);

  // Pressed by the dialog itself only: never shown, never focused.
  startButton_ = new QPushButton(QStringLiteral("Start"), this);
  startButton_->setAutoDefault(false);
  startButton_->setFocusPolicy(Qt::NoFocus);
  startButton_->hide();
  connect(startButton_, &QPushButton::clicked, this, &CConverterDlg::OnStart);

  LayOut();
  okButton_->setFocus();
}

CConverterDlg::~CConverterDlg() = default;

void CConverterDlg::LayOut() {
  const DialogUnits units(fontMetrics());
  setFixedSize(units.Size(450, 321));
  okButton_->setGeometry(units.Rect(195, 300, 50, 14));
  messages_->setGeometry(units.Rect(7, 7, 436, 283));
  startButton_->setGeometry(units.Rect(393, 300, 50, 14));
}

int CConverterDlg::DoModal() {
  OnInitDialog();
  return exec();
}

// Runs before the window is shown: while the command-line program runs, or
// its failure is reported, the dialog is not yet on the screen.
void CConverterDlg::OnInitDialog() {
  std::string failure;
  if (!RunCommandLineProgram(setup_.commandLine, &failure)) {
    ShowStartFailure(failure);
  }
  // Queued, so that the run starts only once the event loop runs and the
  // window can show its messages.
  QMetaObject::invokeMethod(startButton_, &QPushButton::click,
                            Qt::QueuedConnection);
}

void CConverterDlg::ShowStartFailure(const std::string& text) {
  if (setup_.showStartFailure) {
    setup_.showStartFailure(text);
    return;
  }
  QMessageBox::warning(nullptr, QCoreApplication::applicationName(),
                       FromBytes(text));
}

void CConverterDlg::OnStart() {
  ReadExecutableTime(run_, setup_.programFile);
  const int closeFlag =
      ExecuteDatafile(run_, ReplaceFileExtension(setup_.programPath, ".txt"),
                      ReplaceFileExtension(setup_.programPath, ".log"));
  ShowLatestMessage();
  // A dialog that the user ended during the run is already on its way out.
  if (closeFlag != 0 && isVisible()) {
    QMetaObject::invokeMethod(okButton_, &QPushButton::click,
                              Qt::QueuedConnection);
  }
  emit runFinished(closeFlag);
}

void CConverterDlg::AppendMessage(std::string_view line) {
  messages_->addItem(FromBytes(line));
  // Selecting, scrolling to and painting every line would cost many times
  // the conversion of a record: the window catches up with the list at the
  // first line and then at most every 50 ms, and once more at the end.
  if (!sinceShown_.isValid() || sinceShown_.elapsed() >= 50) {
    ShowLatestMessage();
  }
}

void CConverterDlg::ShowLatestMessage() {
  QListWidgetItem* last = messages_->item(messages_->count() - 1);
  if (last) {
    messages_->setCurrentItem(last);
    messages_->scrollToItem(last);
  }
  // The run works on this thread: handling what is pending keeps the window
  // painted and its OK button and close box answering.
  QCoreApplication::processEvents();
  sinceShown_.start();
}

}  // namespace kirato
