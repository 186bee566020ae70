// The dialog program on Qt's offscreen platform: its command line, its job
// folder, the run that starts by itself on a thread of its own, the messages
// in its list, its progress, when it closes itself and its exit status.
#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "app/common/command_line.h"
#include "app/common/job.h"
#include "app/dialog/converter_dlg.h"
#include "tests/fake_disk.h"

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
// The job folder: one rule for the Linux and the Windows window.

TEST(JobTest, DatafileLogAndFolderAreNamedAfterTheProgram) {
  struct Case {
    const char* program;
    JobFiles job;
  };
  const Case cases[] = {
      {"/jobs/club/kirato",
       {"/jobs/club/", "/jobs/club/kirato.txt", "/jobs/club/kirato.log"}},
      {"/jobs/club/nightly.run",
       {"/jobs/club/", "/jobs/club/nightly.txt", "/jobs/club/nightly.log"}},
      {"/jobs.d/kirato", {"/jobs.d/", "/jobs.d/kirato.txt", "/jobs.d/kirato.log"}},
      {"kirato", {"./", "kirato.txt", "kirato.log"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.program);
    const JobFiles job = JobFilesOf(c.program);
    EXPECT_EQ(job.folder, c.job.folder);
    EXPECT_EQ(job.datafile, c.job.datafile);
    EXPECT_EQ(job.log, c.job.log);
  }
}

TEST(JobTest, AFolderThatCannotBeEnteredIsNamed) {
  JobFiles job;
  job.folder = "/no/such/job/";
  std::string err;
  EXPECT_FALSE(EnterJobFolder(job, &err));
  EXPECT_EQ(err,
            "Cannot enter the job folder '/no/such/job/': No such file or "
            "directory");
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
  bool closedItself = false;  // ended by itself after the run
  bool timedOut = false;
  int status = -1;  // the program's exit status
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
  outcome.status = dialog.ExitStatus();
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
  EXPECT_EQ(dialog.progressLine()->text(), "Records done: 2");
  EXPECT_EQ(outcome.status, 0);
  EXPECT_TRUE(Exists(job.sgf + "/g1.sgf"));
}

TEST(DialogTest, ClosesItselfOnlyAfterAnErrorFreeClose) {
  struct Case {
    const char* name;
    const char* tail;  // datafile lines after OUT and IN
    bool closes;
    int status;  // as kirato-cli's for the same datafile
  };
  const Case cases[] = {
      {"CLOSE after a clean run", "CLOSE\n", true, 0},
      {"CLOSE after an unknown command", "COPY = a\nCLOSE\n", false, 1},
      {"FORCEERROR before CLOSE", "FORCEERROR: disk full\nCLOSE\n", false, 1},
      {"an input folder that is not there", "IN=/no/such/ugf\nCLOSE\n",
       false, 1},
      {"no CLOSE", "", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JobFolder job;
    WriteFile(job.datafile, job.Datafile(c.tail));
    CConverterDlg dialog(job.Setup());
    const Outcome outcome = RunDialog(dialog);
    EXPECT_TRUE(outcome.runFinished);
    EXPECT_EQ(outcome.closedItself, c.closes);
    EXPECT_EQ(outcome.status, c.status);
    ASSERT_FALSE(outcome.lines.isEmpty());
    EXPECT_EQ(outcome.lines.back(), "Files failed: 0");
  }
}

TEST(DialogTest, WithoutDatafileShowsWhereItLookedAndCloses) {
  JobFolder job;
  CConverterDlg dialog(job.Setup());
  const Outcome outcome = RunDialog(dialog);
  EXPECT_TRUE(outcome.closedItself);
  EXPECT_EQ(outcome.status, 2);
  EXPECT_EQ(outcome.lines,
            QStringList({"Datafile not found:",
                         QString::fromStdString(job.datafile)}));
}

TEST(DialogTest, AProblemBeforeTheRunIsItsFirstMessageAndFailsIt) {
  JobFolder job;
  WriteFile(job.datafile, job.Datafile("CLOSE\n"));
  DialogSetup setup = job.Setup();
  setup.problem = "Cannot enter the job folder '/job/': Permission denied";
  CConverterDlg dialog(setup);
  const Outcome outcome = RunDialog(dialog);
  EXPECT_FALSE(outcome.closedItself);
  EXPECT_EQ(outcome.status, 1);
  ASSERT_FALSE(outcome.lines.isEmpty());
  EXPECT_EQ(outcome.lines[0].toStdString(), setup.problem);
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
  // Nothing of the failure in the list; the run follows as usual, but a
  // scheduler learns that the job's first step did not happen.
  EXPECT_EQ(outcome.lines.mid(1), Summary(1, 0, 1, 0));
  EXPECT_TRUE(outcome.closedItself);
  EXPECT_EQ(outcome.status, 1);
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

// Holds the run inside the reading of one record until the test opens the
// gate. A window that carried out its job itself could not answer
// meanwhile.
class GatedDisk : public FakeDisk {
 public:
  explicit GatedDisk(std::string gate) : gate_(std::move(gate)) {}

  ReadResult ReadFile(const std::string& path, std::string* bytes,
                      std::string* err) override {
    if (path == gate_) {
      std::unique_lock<std::mutex> lock(gateMutex_);
      // Bounded, so that a window that waits for its run fails the test
      // instead of hanging it.
      opened_.wait_for(lock, std::chrono::seconds(20), [&] { return open_; });
    }
    return FakeDisk::ReadFile(path, bytes, err);
  }
  void Open() {
    {
      std::lock_guard<std::mutex> lock(gateMutex_);
      open_ = true;
    }
    opened_.notify_all();
  }

 private:
  const std::string gate_;
  std::mutex gateMutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

TEST(DialogTest, AnswersWhileTheRunWorksAndClosingLetsTheRunFinish) {
  GatedDisk disk("/ugf/c.ugf");
  disk.AddFile("/ugf/a.ugf", kUgf);
  disk.AddFile("/ugf/b.ugf", kUgf, 100);
  disk.AddFile("/sgf/b.sgf", "(;)", 200);  // up to date
  disk.AddFile("/ugf/c.ugf", kUgf);
  // One thread, so that the records before the gate are done before it.
  disk.AddFile("/job/kirato.txt", "THREADS=1\nOUT=/sgf\nIN=/ugf\nCLOSE\n");
  DialogSetup setup;
  setup.programPath = "/job/kirato";
  setup.disk = &disk;
  CConverterDlg dialog(setup);

  // The user closes the window once it shows two records done, while the
  // run is held in the third.
  QStringList linesWhenClosed;
  QString progressWhenClosed;
  QTimer user;
  user.setInterval(10);
  QObject::connect(&user, &QTimer::timeout, &dialog, [&] {
    if (!dialog.progressLine()->text().startsWith("Records done: 2")) return;
    user.stop();
    linesWhenClosed = Lines(*dialog.messageList());
    progressWhenClosed = dialog.progressLine()->text();
    dialog.reject();
  });
  user.start();
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, &dialog, [&] { dialog.reject(); });
  guard.start(kGuardMs);
  dialog.DoModal();
  // The window is gone while the run still waits at the gate.
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_FALSE(disk.Exists("/sgf/c.sgf"));
  EXPECT_EQ(progressWhenClosed, "Records done: 2    Folder: /ugf");
  EXPECT_EQ(linesWhenClosed, QStringList({"convert /ugf/a.ugf -> /sgf/a.sgf"}));

  disk.Open();
  EXPECT_EQ(dialog.ExitStatus(), 0);
  EXPECT_EQ(Lines(*dialog.messageList()).mid(1, 1),
            QStringList({"convert /ugf/c.ugf -> /sgf/c.sgf"}));
  EXPECT_EQ(Lines(*dialog.messageList()).mid(2), Summary(1, 1, 2, 0));
  EXPECT_EQ(dialog.progressLine()->text(), "Records done: 3");
  EXPECT_TRUE(disk.Exists("/sgf/c.sgf"));
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

// As a scheduler starts it: in a folder of the scheduler's choosing. The
// program to run first and the datafile's relative paths are found in the
// job folder all the same, and the exit status tells how the job went.
TEST(ProgramTest, ScheduledStartFromAnotherFolder) {
  struct Case {
    const char* name;
    const char* datafile;  // nullptr: none
    int status;
    bool converts;
  };
  const Case cases[] = {
      {"a clean job with relative paths", "LOG=1\nOUT=sgf\nIN=ugf\nCLOSE\n",
       0, true},
      {"no datafile", nullptr, 2, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JobFolder job;
    QTemporaryDir elsewhere;
    WriteScript(Path(job.dir, "prep.sh"), "echo done > prepared\n");
    if (c.datafile) WriteFile(job.datafile, c.datafile);
    ASSERT_TRUE(
        QFile::link(KIRATO_PROGRAM, QString::fromStdString(job.program)));

    QProcess program;
    program.setWorkingDirectory(elsewhere.path());
    program.start(QString::fromStdString(job.program), {"prep.sh"});
    ASSERT_TRUE(program.waitForFinished(kGuardMs))
        << program.readAllStandardError().toStdString();
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), c.status);
    EXPECT_TRUE(Exists(Path(job.dir, "prepared")));
    EXPECT_EQ(Exists(job.sgf + "/g1.sgf"), c.converts);
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
  }
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
