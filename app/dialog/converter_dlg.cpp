#include "app/dialog/converter_dlg.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTimer>

#include "app/common/command_line.h"
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
      run_(setup_.disk ? *setup_.disk : SystemDisk()) {
  setWindowTitle(QStringLiteral("kirato v1.0"));
  setWindowIcon(ProgramIcon());

  // Created in tab order: OK first, so that it has the focus at the start.
  okButton_ = new QPushButton(QStringLiteral("OK"), this);
  okButton_->setDefault(true);
  connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

  progress_ = new QLabel(this);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setTextFormat(Qt::PlainText);

  messages_ = new QListWidget(this);
  messages_->setObjectName(QStringLiteral("messages"));
  messages_->setSelectionMode(QAbstractItemView::SingleSelection);
  messages_->setUniformItemSizes(true);

  ticker_ = new QTimer(this);
  ticker_->setInterval(BackgroundRun::kTickMs);
  connect(ticker_, &QTimer::timeout, this, &CConverterDlg::ShowPending);

  LayOut();
  okButton_->setFocus();
}

CConverterDlg::~CConverterDlg() { run_.Detach(); }

void CConverterDlg::LayOut() {
  const DialogUnits units(fontMetrics());
  setFixedSize(units.Size(450, 321));
  okButton_->setGeometry(units.Rect(195, 300, 50, 14));
  progress_->setGeometry(units.Rect(7, 7, 436, 10));
  messages_->setGeometry(units.Rect(7, 20, 436, 270));
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
    startFailed_ = true;
    ShowStartFailure(failure);
  }
  // The end of the run is told from the run's thread; the dialog takes it
  // up in its own loop, at once rather than at the next tick.
  run_.Start(JobFilesOf(setup_.programPath), setup_.programFile,
             setup_.problem, [this] {
               QMetaObject::invokeMethod(this, &CConverterDlg::OnRunFinished,
                                         Qt::QueuedConnection);
             });
  ticker_->start();
}

void CConverterDlg::ShowStartFailure(const std::string& text) {
  if (setup_.showStartFailure) {
    setup_.showStartFailure(text);
    return;
  }
  QMessageBox::warning(nullptr, QCoreApplication::applicationName(),
                       FromBytes(text));
}

void CConverterDlg::ShowPending() {
  run_.Take(&update_);
  if (!update_.lines.empty()) {
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(update_.lines.size()));
    for (const std::string& line : update_.lines) lines << FromBytes(line);
    messages_->addItems(lines);
    QListWidgetItem* last = messages_->item(messages_->count() - 1);
    messages_->setCurrentItem(last);
    messages_->scrollToItem(last);
  }
  const QString text =
      FromBytes(ProgressText(update_.records, update_.folder));
  if (text != progressText_) {
    progressText_ = text;
    // A deep folder's path is cut in its middle: its start and its own
    // name stay readable.
    progress_->setText(progress_->fontMetrics().elidedText(
        text, Qt::ElideMiddle, progress_->width()));
  }
}

void CConverterDlg::OnRunFinished() {
  ticker_->stop();
  ShowPending();
  const JobOutcome outcome = run_.Wait();
  emit runFinished(outcome.closes ? 1 : 0);
  // A dialog that the user ended during the run is already on its way out.
  if (outcome.closes && isVisible()) accept();
}

int CConverterDlg::ExitStatus() {
  ticker_->stop();
  JobOutcome outcome = run_.Wait();
  ShowPending();
  outcome.startFailed = startFailed_;
  return ExitStatusOf(outcome);
}

}  // namespace kirato
