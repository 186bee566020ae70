// The dialog program on Qt's offscreen platform: its command line, the run
// that starts by itself, the messages in its list and when it closes itself.
#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QListWidget>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "app/common/command_line.h"
#include "app/dialog/converter_dlg.h"

namespace kirato {
namespace {

// Long enough for a slow sanitizer build; only a hung dialog ever reaches it.
constexpr int kGuardMs = 60000;

constexpr char kUgf[] = "[Header]\nTitle=X\n[Data]\nPD,B1,1,0\n";

// ---------------------------------------------------------------------------
// The command line: from the arguments to the program's name.

TEST(CommandLineTest, NamesTheProgramAsTheUserTypedIt) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
    std::string text;     // what the program sees after its own name
    std::string program;  // the program it starts
  };
  const std::string longName(1000, 'x');
  const Case cases[] = {
      {"no arguments", {}, "", ""},
      {"one name", {"./prep"}, "./prep", "./prep"},
      {"quoted name with an option word: the word is dropped",
       {"/opt/my tools/prep", "-v"},
       "\"/opt/my tools/prep\" -v",
       "/opt/my tools/prep"},
      {"the same words unquoted: all of them are the name",
       {"/opt/prep", "-v"},
       "/opt/prep -v",
       "/opt/prep -v"},
      {"a tab also asks for quotes", {"a\tb", "c"}, "\"a\tb\" c", "a\tb"},
      {"single quotes typed inside one argument", {"'my prep' -v"},
       "\"'my prep' -v\"", "'my prep' -v"},
      {"an empty argument names nothing", {""}, "", ""},
      {"an empty argument among others", {"", "x"}, " x", "x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = CommandLineText(c.arguments);
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(CommandLineProgramName(text), c.program);
  }
  EXPECT_EQ(CommandLineProgramName(CommandLineText({longName})),
            std::string(kMaxProgramNameLength, 'x'));
}

TEST(CommandLineTest, QuotesAndWhitespace) {
  struct Case {
    const char* name;
    std::string text;
    std::string program;
  };
  const Case cases[] = {
      {"double quotes, then more words", "\"my prep\" -v", "my prep"},
      {"single quotes act alike", "'my prep' -v", "my prep"},
      {"a name with blanks and no quotes is not split", "my prep",
       "my prep"},
      {"no closing quote: the rest of the text", "\"my prep -v",
       "my prep -v"},
      {"the other quote character does not close", "'say \"hi\"' x",
       "say \"hi\""},
      {"leading whitespace of every kind skipped", " \t\n\v\f\rprep", "prep"},
      {"a quote after the whitespace still opens", "  'prep' x", "prep"},
      {"a byte of 0x80 or above is no whitespace", "\xa0prep", "\xa0prep"},
      {"only whitespace: an empty name", " \t ", ""},
      {"an empty pair of quotes", "\"\" prep", ""},
      {"a quote later in the name means nothing", "my'prep x", "my'prep x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CommandLineProgramName(c.text), c.program);
  }
}

// Windows hands over one text, the program's own name first.
TEST(CommandLineTest, TextAfterTheProgramsOwnName) {
  struct Case {
    const char* line;
    const char* text;
  } cases[] = {
      {"kirato.exe", ""},
      {"kirato.exe  \t\"C:\\my tools\\prep\" -v", "\"C:\\my tools\\prep\" -v"},
      {"\"C:\\job folder\\kirato.exe\" prep", "prep"},
      {"\"C:\\job\\kirato.exe\"prep", "prep"},
      {"\"kirato.exe prep", ""},
      {"kirato.exe\tprep x", "prep x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    EXPECT_EQ(c.text, TextAfterProgramName(c.line));
  }
}

TEST(CommandLineTest, LongNamesAreCutBeforeTheClosingQuoteIsLookedFor) {
  const std::string x996(996, 'x');
  struct Case {
    const char* name;
    std::string text;
    std::string program;
  };
  const Case cases[] = {
      {"997 characters kept", x996 + "yz", x996 + "y"},
      {"the limit counts after the opening quote", "\"" + x996 + "y\"",
       x996 + "y"},
      {"a closing quote past the limit is not seen", "'" + x996 + "yz' w",
       x996 + "y"},
      {"leading whitespace does not count", "   " + x996 + "yz",
       x996 + "y"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CommandLineProgramName(c.text), c.program);
  }
}

TEST(CommandLineTest, StartFailureTextNamesProgramAndError) {
  EXPECT_EQ(StartFailureText("/no/such prog -v", ENOENT),
            "The program specified on the commandline could not be started"
            "\n\r\n\rThe commandline: '/no/such prog -v'\n\r\n\r"
            "Error description: 2 - No such file or directory");
}

// ---------------------------------------------------------------------------
// The dialog.

std::string Path(const QTemporaryDir& dir, const char* name) {
  return QDir(dir.path()).filePath(QString::fromUtf8(name)).toStdString();
}

void WriteFile(const std::string& path, const std::string& text) {
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path;
  file.write(text.data(), static_cast<qint64>(text.size()));
}

void WriteScript(const std::string& path, const std::string& body) {
  WriteFile(path, "#!/bin/sh\n" + body);
  QFile::setPermissions(QString::fromStdString(path),
                        QFile::ReadOwner | QFile::WriteOwner |
                            QFile::ExeOwner);
}

bool Exists(const std::string& path) {
  return QFileInfo::exists(QString::fromStdString(path));
}

QStringList Lines(const QListWidget& list) {
  QStringList lines;
  for (int i = 0; i < list.count(); ++i) lines << list.item(i)->text();
  return lines;
}

QStringList Summary(int scanned, int upToDate, int converted, int failed) {
  return {"",
          "*** summary ***",
          QStringLiteral("Directories scanned: %1").arg(scanned),
          QStringLiteral("Files up-to-date: %1").arg(upToDate),
          QStringLiteral("Files converted: %1").arg(converted),
          QStringLiteral("Files failed: %1").arg(failed)};
}

// A job folder in a temporary directory: the program path "job/kirato", its
// datafile job/kirato.txt and a folder of UGF records.
struct JobFolder {
  QTemporaryDir dir;
  std::string program = Path(dir, "kirato");
  std::string datafile = Path(dir, "kirato.txt");
  std::string ugf = Path(dir, "ugf");
  std::string sgf = Path(dir, "sgf");

  JobFolder() {
    QDir().mkpath(QString::fromStdString(ugf));
    WriteFile(ugf + "/g1.ugf", kUgf);
  }
  std::string Datafile(const std::string& tail) const {
    return "OUT=" + sgf + "\nIN=" + ugf + "\n" + tail;
  }
  DialogSetup Setup() const {
    DialogSetup setup;
    setup.programPath = program;
    setup.showStartFailure = [](const std::string& text) {
      ADD_FAILURE() << "unexpected start failure: " << text;
    };
    return setup;
  }
};

struct Outcome {
  bool runFinished = false;
  bool closedItself = false;  // ended by its own OK click after the run
  bool timedOut = false;
  QStringList lines;
};

// Runs the dialog in its own event loop, as the program does. A dialog that
// is still open once the run is over is ended by the test; the guard ends a
// dialog whose run never finishes.
Outcome RunDialog(CConverterDlg& dialog) {
  Outcome outcome;
  bool stayedOpen = false;
  QObject::connect(&dialog, &CConverterDlg::runFinished, &dialog, [&](int) {
    outcome.runFinished = true;
    // Queued behind the OK click that a closing dialog has just posted.
    QMetaObject::invokeMethod(
        &dialog,
        [&] {
          if (dialog.isVisible()) {
            stayedOpen = true;
            dialog.reject();
          }
        },
        Qt::QueuedConnection);
  });
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &dialog, [&] {
    outcome.timedOut = true;
    dialog.reject();
  });
  guard.start(kGuardMs);
  const int result = dialog.DoModal();
  outcome.closedItself = result == QDialog::Accepted && !stayedOpen &&
                         !outcome.timedOut;
  outcome.lines = Lines(*dialog.messageList());
  EXPECT_FALSE(outcome.timedOut) << "the dialog hung";
  return outcome;
}

TEST(DialogTest, RunStartsByItselfAndListsMessagesInOrder) {
  JobFolder job;
  WriteFile(job.ugf + "/g2.ugf", kUgf);
  WriteFile(job.datafile, job.Datafile("; no CLOSE: the dialog stays open\n"));
  CConverterDlg dialog(job.Setup());
  const Outcome outcome = RunDialog(dialog);

  EXPECT_TRUE(outcome.runFinished);
  EXPECT_FALSE(outcome.closedItself);
  ASSERT_EQ(outcome.lines.size(), 8) << outcome.lines.join('\n').toStdString();
  // The walk's order of the two files is its own business; the summary
  // comes last.
  QStringList conversions = outcome.lines.mid(0, 2);
  conversions.sort();
  const QString sgf = QString::fromStdString(job.sgf);
  const QString ugf = QString::fromStdString(job.ugf);
  EXPECT_TRUE(conversions[0].startsWith("convert " + ugf + "/g1.ugf -> " + sgf))
      << conversions[0].toStdString();
  EXPECT_TRUE(conversions[1].startsWith("convert " + ugf + "/g2.ugf -> " + sgf))
      << conversions[1].toStdString();
  EXPECT_EQ(outcome.lines.mid(2), Summary(1, 0, 2, 0));
  // The last line is the one selected, as each line was when it came.
  EXPECT_EQ(dialog.messageList()->currentRow(), 7);
  EXPECT_TRUE(Exists(job.sgf + "/g1.sgf"));
}

TEST(DialogTest, ClosesItselfOnlyAfterAnErrorFreeClose) {
  struct Case {
    const char* name;
    const char* tail;  // datafile lines after OUT and IN
    bool closes;
  };
  const Case cases[] = {
      {"CLOSE after a clean run", "CLOSE\n", true},
      {"CLOSE after an unknown command", "COPY = a\nCLOSE\n", false},
      {"FORCEERROR before CLOSE", "FORCEERROR: disk full\nCLOSE\n", false},
      {"no CLOSE", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JobFolder job;
    WriteFile(job.datafile, job.Datafile(c.tail));
    CConverterDlg dialog(job.Setup());
    const Outcome outcome = RunDialog(dialog);
    EXPECT_TRUE(outcome.runFinished);
    EXPECT_EQ(outcome.closedItself, c.closes);
    ASSERT_FALSE(outcome.lines.isEmpty());
    EXPECT_EQ(outcome.lines.back(), "Files failed: 0");
  }
}

TEST(DialogTest, WithoutDatafileShowsWhereItLookedAndCloses) {
  JobFolder job;
  CConverterDlg dialog(job.Setup());
  const Outcome outcome = RunDialog(dialog);
  EXPECT_TRUE(outcome.closedItself);
  EXPECT_EQ(outcome.lines,
            QStringList({"Datafile not found:",
                         QString::fromStdString(job.datafile)}));
}

TEST(DialogTest, DatafileAndLogAreNamedAfterTheProgramPath) {
  struct Case {
    const char* name;
    const char* program;  // in the job folder
    const char* stem;     // of the datafile and the log
  };
  // A '.' in a folder's name is no extension: programs carry none here.
  const Case cases[] = {
      {"no extension, in a folder with a dot", "jobs.d/nightly",
       "jobs.d/nightly"},
      {"an extension is replaced", "jobs.d/nightly.run", "jobs.d/nightly"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JobFolder job;
    QDir().mkpath(QString::fromStdString(Path(job.dir, "jobs.d")));
    const std::string stem = Path(job.dir, c.stem);
    WriteFile(stem + ".txt", job.Datafile("LOG=1\nCLOSE\n"));
    DialogSetup setup = job.Setup();
    setup.programPath = Path(job.dir, c.program);
    CConverterDlg dialog(setup);
    const Outcome outcome = RunDialog(dialog);
    EXPECT_TRUE(outcome.closedItself);
    ASSERT_FALSE(outcome.lines.isEmpty());
    EXPECT_EQ(outcome.lines.back(), "Files failed: 0");
    EXPECT_TRUE(Exists(stem + ".log"));
  }
}

TEST(DialogTest, CommandLineProgramEndsBeforeTheFirstMessage) {
  JobFolder job;
  WriteFile(job.datafile, job.Datafile("CLOSE\n"));
  const std::string marker = Path(job.dir, "prepared");
  const std::string script = Path(job.dir, "prepare it.sh");
  // The marker is written last, as the script's final act; a non-zero exit
  // status must not keep the run from starting.
  WriteScript(script, "echo done > '" + marker + "'\nexit 3\n");

  DialogSetup setup = job.Setup();
  setup.commandLine = CommandLineText({script, "--ignored"});
  CConverterDlg dialog(setup);
  int checkedRows = 0;
  bool markerAtFirstMessage = false;
  QObject::connect(dialog.messageList()->model(),
                   &QAbstractItemModel::rowsInserted, &dialog,
                   [&](const QModelIndex&, int first, int) {
                     if (first == 0) markerAtFirstMessage = Exists(marker);
                     ++checkedRows;
                   });
  const Outcome outcome = RunDialog(dialog);
  EXPECT_TRUE(markerAtFirstMessage);
  EXPECT_GT(checkedRows, 0);
  EXPECT_TRUE(outcome.closedItself);
}

TEST(DialogTest, UnstartableProgramIsReportedAndTheRunStillHappens) {
  JobFolder job;
  WriteFile(job.datafile, job.Datafile("CLOSE\n"));
  const std::string missing = Path(job.dir, "no such prep");
  DialogSetup setup = job.Setup();
  setup.commandLine = CommandLineText({missing, "-v"});
  std::vector<std::string> reported;
  bool visibleWhileReported = true;
  CConverterDlg* self = nullptr;
  setup.showStartFailure = [&](const std::string& text) {
    reported.push_back(text);
    visibleWhileReported = self->isVisible();
  };
  CConverterDlg dialog(setup);
  self = &dialog;
  const Outcome outcome = RunDialog(dialog);
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0], StartFailureText(missing, ENOENT));
  EXPECT_FALSE(visibleWhileReported);
  // Nothing of the failure in the list; the run follows as usual.
  EXPECT_EQ(outcome.lines.mid(1), Summary(1, 0, 1, 0));
  EXPECT_TRUE(outcome.closedItself);
}

TEST(DialogTest, BareNameIsNotLookedForOnTheSearchPath) {
  // `sh` is on every search path but not in the test's current directory.
  JobFolder job;
  WriteFile(job.datafile, job.Datafile(""));
  DialogSetup setup = job.Setup();
  setup.commandLine = "sh";
  std::string reported;
  setup.showStartFailure = [&](const std::string& text) { reported = text; };
  ASSERT_FALSE(QFileInfo::exists("sh"));
  CConverterDlg dialog(setup);
  RunDialog(dialog);
  EXPECT_EQ(reported, StartFailureText("sh", ENOENT));
}

TEST(DialogTest, ClosingDuringTheRunLetsTheRunFinish) {
  JobFolder job;
  const std::string ugf2 = Path(job.dir, "ugf2");
  QDir().mkpath(QString::fromStdString(ugf2));
  WriteFile(ugf2 + "/g3.ugf", kUgf);
  WriteFile(job.datafile, job.Datafile("IN=" + ugf2 + "\nCLOSE\n"));
  CConverterDlg dialog(job.Setup());
  // The user closes the window as soon as the first line shows: the close
  // arrives as an event, which the dialog handles while the run goes on.
  int linesWhenClosed = -1;
  QObject::connect(
      dialog.messageList()->model(), &QAbstractItemModel::rowsInserted,
      &dialog, [&](const QModelIndex&, int first, int) {
        if (first != 0) return;
        QMetaObject::invokeMethod(
            &dialog,
            [&] {
              linesWhenClosed = dialog.messageList()->count();
              dialog.reject();
            },
            Qt::QueuedConnection);
      });
  const Outcome outcome = RunDialog(dialog);
  EXPECT_TRUE(outcome.runFinished);
  EXPECT_FALSE(outcome.closedItself);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_GE(linesWhenClosed, 1);
  EXPECT_LT(linesWhenClosed, outcome.lines.size());
  EXPECT_EQ(outcome.lines.mid(2), Summary(2, 0, 2, 0));
  EXPECT_TRUE(Exists(job.sgf + "/g3.sgf"));
}

// ---------------------------------------------------------------------------
// The built program, started as a user starts it: through a link in a job
// folder, with its datafile beside the link.

TEST(ProgramTest, LinkInAJobFolderRunsTheDatafileBesideTheLink) {
  JobFolder job;
  const std::string marker = Path(job.dir, "prepared");
  const std::string script = Path(job.dir, "prep.sh");
  WriteScript(script, "echo done > '" + marker + "'\n");
  WriteFile(job.datafile, job.Datafile("LOG=1\nCLOSE\n"));
  ASSERT_TRUE(QFile::link(KIRATO_PROGRAM, QString::fromStdString(job.program)));

  QProcess program;
  program.setWorkingDirectory(job.dir.path());
  program.start(QString::fromStdString(job.program), {"./prep.sh"});
  // It closes itself after the CLOSE line: no one presses OK here.
  ASSERT_TRUE(program.waitForFinished(kGuardMs))
      << program.readAllStandardError().toStdString();
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0);
  EXPECT_TRUE(Exists(marker));
  EXPECT_TRUE(Exists(job.sgf + "/g1.sgf"));
  QFile log(QString::fromStdString(Path(job.dir, "kirato.log")));
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  EXPECT_TRUE(log.readAll().contains("Files converted: 1\r\n"));
}

TEST(ProgramTest, HelpAndVersionAnswerWithoutADisplay) {
  struct Case {
    const char* argument;
    const char* firstLine;
  };
  const Case cases[] = {
      {"--help", "Usage: kirato [PROGRAM]\n"},
      {"--version", "kirato 1.0\n"},
  };
  // Without a display the window toolkit cannot start: only an answer given
  // before it starts reaches standard output.
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    environment.remove(name);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.argument);
    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(KIRATO_PROGRAM, {c.argument});
    ASSERT_TRUE(program.waitForFinished(kGuardMs));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_TRUE(program.readAllStandardOutput().startsWith(c.firstLine));
  }
}

}  // namespace
}  // namespace kirato

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
