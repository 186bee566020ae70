// kirato-screenshot PROGRAM_PATH OUTPUT_PNG: runs the dialog as the program
// at PROGRAM_PATH would (its datafile beside it), draws the window into
// OUTPUT_PNG once the run is over, and ends. Made for the README's picture;
// not installed.
#include <QApplication>
#include <QPixmap>
#include <cstdio>

#include "app/dialog/converter_dlg.h"
#include "batch/process.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: kirato-screenshot PROGRAM_PATH OUTPUT_PNG\n", stderr);
    return 2;
  }
  const QString output = QString::fromLocal8Bit(argv[2]);
  int toolkitArgc = 1;
  QApplication application(toolkitArgc, argv);
  QApplication::setApplicationName(QStringLiteral("kirato"));

  kirato::DialogSetup setup;
  setup.programPath = argv[1];
  setup.programFile = kirato::SelfExecutablePath();
  kirato::CConverterDlg dialog(setup);
  bool saved = false;
  QObject::connect(&dialog, &kirato::CConverterDlg::runFinished, &dialog,
                   [&](int) {
                     saved = dialog.grab().save(output, "PNG");
                     dialog.reject();
                   });
  dialog.DoModal();
  if (!saved) {
    std::fprintf(stderr, "kirato-screenshot: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
