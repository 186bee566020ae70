// kirato-cli: the console front-end. Runs a datafile, or converts one file.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/options.h"
#include "app/cli/progress_line.h"
#include "app/version.h"
#include "batch/datafile.h"
#include "batch/disk.h"
#include "batch/dry_run_disk.h"
#include "batch/process.h"
#include "batch/run_state.h"
#include "batch/walk.h"

namespace {

constexpr char kUsageLine[] =
    "Usage: kirato-cli [OPTION]... DATAFILE | convert INPUT OUTPUT |"
    " convert -o DIR FILE...\n";

constexpr char kHelp[] =
    "Usage: kirato-cli [OPTION]... DATAFILE\n"
    "  or:  kirato-cli [OPTION]... convert INPUT OUTPUT\n"
    "  or:  kirato-cli [OPTION]... convert -o DIR FILE...\n"
    "Convert Go game records into SGF: UGF (.ugf, .ugi), GIB (.gib) and NGF\n"
    "(.ngf), their extensions in any letter case.\n"
    "\n"
    "With DATAFILE, carry out its commands (LOG, OUT, IN, CLOSE, FORCEERROR,\n"
    "THREADS, CHARSET, FORMATS, REPORT, MIRROR, ';' comments): convert every\n"
    "record under each IN folder whose SGF file in the OUT folder is missing,\n"
    "or not newer than the record and than this program, and print every\n"
    "message on a line of its own, the summary last. A LOG line writes the\n"
    "trace log beside DATAFILE, with the extension \".log\". The options -j,\n"
    "--charset, --formats, --report and --mirror hold over the datafile's\n"
    "THREADS, CHARSET, FORMATS, REPORT and MIRROR lines.\n"
    "\n"
    "With convert, convert the one record INPUT into the SGF file OUTPUT,\n"
    "whether or not OUTPUT is up to date. INPUT \"-\" reads the record from\n"
    "standard input; OUTPUT \"-\" writes the SGF to standard output and the\n"
    "messages to standard error. With -o DIR, convert each FILE into DIR,\n"
    "named and decided on as a datafile run does, with its summary.\n"
    "\n"
    "  -f, --force     convert every record, whatever the file times say\n"
    "  -n, --dry-run   decide and report as a real run would, but write\n"
    "                    nothing: no folder, no SGF file, no log, no report\n"
    "  -q, --quiet     leave out the line of each record converted, and the\n"
    "                    progress line; problems and the summary are printed\n"
    "  -j, --jobs=N    convert up to N records at once (default: one per\n"
    "                    processor core); the output is the same for any N\n"
    "  -o, --output-dir=DIR  with convert: the folder for the SGF files of\n"
    "                    the FILE operands\n"
    "      --mirror    write each SGF file into the folder under OUT that\n"
    "                    stands where its record's folder stands under IN,\n"
    "                    made when a record is written there (as MIRROR)\n"
    "      --charset=keep  copy the records' bytes as they are instead of\n"
    "                    decoding them to UTF-8 (--charset=utf-8, the default)\n"
    "      --formats=LIST  the record formats a run converts, such as\n"
    "                    UGF,GIB,NGF or ALL (default: UGF)\n"
    "      --report=FILE  write a report for scripts: one JSON object a\n"
    "                    record and one with the counters (FILE \"-\":\n"
    "                    standard output, and the messages to standard error)\n"
    "      --help      display this help and exit\n"
    "      --version   output version information and exit\n"
    "\n"
    "On a terminal, a run that takes more than a second shows its progress\n"
    "on standard error.\n"
    "\n"
    "Exit status:\n"
    " 0  no error was reported (with convert: every record was converted)\n"
    " 1  an error was reported\n"
    " 2  DATAFILE cannot be opened, or the arguments are wrong\n";

// Where the run's messages go, and which of them are left out. A person
// at a terminal sees each line at once, and a line of progress while a
// long run goes on; a file or a pipe gets the lines in large writes, not
// one system call a line.
class Console {
 public:
  Console(FILE* out, bool quiet)
      : messages(out),
        quiet_(quiet),
        interactive_(kirato::TerminalColumns(out) > 0),
        progress_(!quiet, kirato::TerminalColumns(stderr),
                  [](std::string_view text) {
                    std::fwrite(text.data(), 1, text.size(), stderr);
                    std::fflush(stderr);
                  }),
        start_(std::chrono::steady_clock::now()) {}

  FILE* const messages;

  void Print(kirato::NoteKind kind, std::string_view line) {
    if (quiet_ && kind == kirato::NoteKind::kConverted) return;
    progress_.Erase();
    std::fwrite(line.data(), 1, line.size(), messages);
    std::fputc('\n', messages);
    if (interactive_) std::fflush(messages);
  }

  void Progress(const kirato::Progress& p) {
    const std::chrono::duration<double> since =
        std::chrono::steady_clock::now() - start_;
    progress_.Update(p.records, p.folder, since.count());
  }

  void EndProgress() { progress_.Erase(); }

  // Sends the run's messages here and its progress to the terminal. With
  // no line to draw, the run is not told to report its progress at all,
  // rather than reading the clock for nothing after every record.
  void Attach(kirato::Run& run) {
    run.sink = [this](kirato::NoteKind kind, std::string_view line) {
      Print(kind, line);
    };
    if (!progress_.Enabled()) return;
    run.progress = [this](const kirato::Progress& p) { Progress(p); };
  }

 private:
  bool quiet_;
  bool interactive_;
  kirato::ProgressLine progress_;
  std::chrono::steady_clock::time_point start_;
};

// A run whose messages were lost (standard output on a full disk, say) must
// not look like a clean one: the summary and any error lines are gone. So
// a status of 0 turns into 1 when anything written to `out` was lost.
int WithStreamChecked(FILE* out, const char* what, int status) {
  if (std::fflush(out) == 0 && !std::ferror(out)) return status;
  std::fprintf(stderr, "kirato-cli: %s could not be written\n", what);
  return status == 0 ? 1 : status;
}

// Standard output as the output file "-". The SGF is written only when
// committed, so a failed game, or one converted again because its record
// changed meanwhile, leaves nothing half-written or twice.
class StdoutOutput : public kirato::OutputFile {
 public:
  bool Write(std::string_view bytes) override {
    bytes_.append(bytes);
    return true;
  }
  bool Commit(std::string* err) override {
    const bool ok =
        std::fwrite(bytes_.data(), 1, bytes_.size(), stdout) ==
            bytes_.size() &&
        std::fflush(stdout) == 0 && !std::ferror(stdout);
    if (!ok) *err = std::strerror(errno);
    return ok;
  }

 private:
  std::string bytes_;
};

// Standard output as the stream of a report: written as it goes, since a
// script that reads it reads it as it comes.
class StdoutStream : public kirato::OutputFile {
 public:
  bool Write(std::string_view bytes) override {
    return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size();
  }
  bool Commit(std::string* err) override {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    *err = std::strerror(errno);
    return false;
  }
};

// Reads all of standard input, as a record file is read: refused past the
// bound on the size of a record, whatever the pipe brings.
kirato::Disk::ReadResult ReadStandardInput(std::string* bytes,
                                           std::string* err) {
  constexpr auto kMostBytes = static_cast<size_t>(kirato::Disk::kMaxReadBytes);
  bytes->clear();
  char buffer[65536];
  for (;;) {
    const size_t n = std::fread(buffer, 1, sizeof buffer, stdin);
    bytes->append(buffer, n);
    if (bytes->size() > kMostBytes) {
      bytes->clear();
      *err = "too large for a game record: more than " +
             std::to_string(kMostBytes >> 20) + " MiB";
      return kirato::Disk::ReadResult::kReadError;
    }
    if (n < sizeof buffer) break;
  }
  if (std::ferror(stdin)) {
    *err = std::strerror(errno);
    bytes->clear();
    return kirato::Disk::ReadResult::kReadError;
  }
  return kirato::Disk::ReadResult::kRead;
}

// The system disk, but with "-" standing for standard input (a record)
// and standard output (an SGF file or a report).
class StdioDisk : public kirato::Disk {
 public:
  explicit StdioDisk(kirato::Disk& base) : base_(base) {}
  // Standard output as a report rather than as an SGF file.
  bool reportToStdout = false;

  bool Stat(const std::string& p, kirato::FileStatus* st) override {
    if (p == "-") {
      *st = kirato::FileStatus();
      return false;
    }
    return base_.Stat(p, st);
  }
  bool ListDir(const std::string& d, std::vector<kirato::DirEntry>* e,
               std::string* err) override {
    return base_.ListDir(d, e, err);
  }
  bool MakeDir(const std::string& p, std::string* err) override {
    return base_.MakeDir(p, err);
  }
  ReadResult ReadFile(const std::string& p, std::string* bytes,
                      std::string* err) override {
    if (p == "-") return ReadStandardInput(bytes, err);
    return base_.ReadFile(p, bytes, err);
  }
  bool CreateOutput(const std::string& p, const kirato::FileStatus& known,
                    std::unique_ptr<kirato::OutputFile>* file,
                    std::string* err) override {
    if (p == "-" && reportToStdout) {
      *file = std::make_unique<StdoutStream>();
      return true;
    }
    if (p == "-") {
      *file = std::make_unique<StdoutOutput>();
      return true;
    }
    return base_.CreateOutput(p, known, file, err);
  }
  bool OpenLog(const std::string& p, std::unique_ptr<kirato::LogFile>* log,
               std::string* err) override {
    return base_.OpenLog(p, log, err);
  }
  bool Remove(const std::string& p) override {
    return p == "-" || base_.Remove(p);
  }
  bool SyncWritten(std::string* err) override {
    return base_.SyncWritten(err);
  }
  const kirato::PathRules& Paths() const override { return base_.Paths(); }
  std::string DatafileText(std::string bytes) override {
    return base_.DatafileText(std::move(bytes));
  }
  // Folders are the real disk's: its way of reaching their files stays.
  bool OpenFolder(const std::string& prefix,
                  std::shared_ptr<kirato::Folder>* folder,
                  std::string* err) override {
    return base_.OpenFolder(prefix, folder, err);
  }
  bool OpenSubfolder(kirato::Folder& parent, std::string_view name,
                     std::shared_ptr<kirato::Folder>* folder,
                     std::string* err) override {
    return base_.OpenSubfolder(parent, name, folder, err);
  }
  bool MakeSubfolder(kirato::Folder& parent, std::string_view name,
                     std::shared_ptr<kirato::Folder>* folder, bool* made,
                     std::string* err) override {
    return base_.MakeSubfolder(parent, name, folder, made, err);
  }
  bool List(kirato::Folder& folder, std::vector<kirato::DirEntry>* entries,
            std::string* err) override {
    return base_.List(folder, entries, err);
  }
  bool StatIn(kirato::Folder& folder, std::string_view name,
              kirato::FileStatus* st) override {
    return base_.StatIn(folder, name, st);
  }
  bool LookIn(kirato::Folder& folder, std::string_view name,
              kirato::FileStatus* st) override {
    return base_.LookIn(folder, name, st);
  }
  ReadResult ReadIn(kirato::Folder& folder, std::string_view name,
                    std::string* bytes, std::string* err) override {
    return base_.ReadIn(folder, name, bytes, err);
  }
  bool CreateOutputIn(const std::shared_ptr<kirato::Folder>& folder,
                      std::string_view name, const kirato::FileStatus& known,
                      std::unique_ptr<kirato::OutputFile>* file,
                      std::string* err) override {
    return base_.CreateOutputIn(folder, name, known, file, err);
  }
  bool RemoveIn(kirato::Folder& folder, std::string_view name) override {
    return base_.RemoveIn(folder, name);
  }
  void RemoveLeftovers(kirato::Folder& folder) override {
    base_.RemoveLeftovers(folder);
  }
  std::string PseudoFileSystem(kirato::Folder& folder) override {
    return base_.PseudoFileSystem(folder);
  }

 private:
  kirato::Disk& base_;
};

// A usage error: what is wrong (when getopt_long has not said it), then
// the usage line.
int UsageError(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "kirato-cli: %s\n", problem.c_str());
  std::fprintf(stderr, "%sTry 'kirato-cli --help' for more information.\n",
               kUsageLine);
  return 2;
}

// What is wrong with the words that remain after the options; empty when
// they make a command.
std::string OperandProblem(const kirato::CliOptions& options) {
  const std::vector<std::string>& words = options.operands;
  if (words.empty()) return "missing DATAFILE operand";
  const bool convert = words[0] == "convert";
  // Files named one by one have no tree to keep.
  if (convert && options.mirror) return "--mirror goes with a DATAFILE";
  if (!options.outputDir.empty()) {
    if (!convert) return "-o DIR goes with convert";
    if (words.size() < 2) return "convert -o DIR needs FILE operands";
    for (size_t i = 1; i < words.size(); ++i) {
      if (words[i] == "-") return "convert -o DIR reads no standard input";
    }
    return {};
  }
  const size_t wanted = convert ? 3 : 1;
  if (words.size() < wanted) return "convert needs INPUT and OUTPUT operands";
  if (words.size() > wanted) return "extra operand '" + words[wanted] + "'";
  return {};
}

// One run of the console program: its disk (the real one, or one that
// writes nothing), the messages' stream and the options that shape it.
// With the SGF (`sgfOut`) or the report on standard output, the messages
// go to standard error, so that a script reads nothing else there.
struct CliRun {
  explicit CliRun(const kirato::CliOptions& options, bool sgfOut = false)
      : stdio(kirato::SystemDisk()),
        dryRun(stdio),
        disk(options.dryRun ? static_cast<kirato::Disk&>(dryRun) : stdio),
        console(sgfOut || options.report == "-" ? stderr : stdout,
                options.quiet),
        run(disk) {
    stdio.reportToStdout = options.report == "-";
    console.Attach(run);
    kirato::RunState& s = run.state;
    s.force = options.force;
    s.threads = options.threads;
    s.charset = options.charset;
    s.formats = options.formats;
    s.mirror = options.mirror;
    s.mirrorFixed = options.mirror;
    s.threadsFixed = options.threadsGiven;
    s.charsetFixed = options.charsetGiven;
    s.formatsFixed = options.formatsGiven;
  }

  // The report the command line names. False (the problem shown) when it
  // cannot be created.
  bool StartReport(const std::string& path) {
    if (path.empty()) return true;
    run.state.reportFixed = true;
    std::string err;
    if (kirato::OpenReport(run, path, &err)) return true;
    std::fprintf(stderr, "kirato-cli: cannot write the report '%s': %s\n",
                 path.c_str(), err.c_str());
    return false;
  }

  // The exit status of a run whose error flag says how it went.
  int Status(int status) {
    console.EndProgress();
    return WithStreamChecked(console.messages, "the messages", status);
  }

  StdioDisk stdio;
  kirato::DryRunDisk dryRun;
  kirato::Disk& disk;
  Console console;
  kirato::Run run;
};

int RunDatafileCommand(const kirato::CliOptions& options) {
  const std::string& datafile = options.operands[0];
  CliRun c(options);
  if (!c.StartReport(options.report)) return 2;
  kirato::ReadExecutableTime(c.run, kirato::SelfExecutablePath());
  bool close = false;  // the console has no window to close
  std::string err;
  if (!kirato::ExecuteDatafile(c.run, datafile,
                               kirato::ReplaceFileExtension(datafile, ".log"),
                               &close, &err)) {
    std::fprintf(stderr, "kirato-cli: cannot open datafile '%s': %s\n",
                 datafile.c_str(), err.c_str());
    return 2;
  }
  return c.Status(c.run.state.errorFlag ? 1 : 0);
}

// convert -o DIR FILE...: a run over the files named.
int ConvertFilesCommand(const kirato::CliOptions& options) {
  CliRun c(options);
  if (!c.StartReport(options.report)) return 2;
  kirato::ReadExecutableTime(c.run, kirato::SelfExecutablePath());
  const std::vector<std::string> files(options.operands.begin() + 1,
                                       options.operands.end());
  kirato::ProcessFiles(c.run, files, options.outputDir);
  kirato::FinishRun(c.run);
  return c.Status(c.run.state.errorFlag ? 1 : 0);
}

// The format of the one record INPUT: as its name says; from standard
// input, the one format --formats names, else UGF.
kirato::RecordFormat FormatOfInput(const kirato::CliOptions& options,
                                   const std::string& input) {
  kirato::RecordFormat format = kirato::RecordFormat::kUgf;
  if (kirato::RecordFormatOf(kirato::SystemPaths().FileName(input), &format)) {
    return format;
  }
  for (auto f : {kirato::RecordFormat::kGib, kirato::RecordFormat::kNgf}) {
    if (options.formatsGiven && options.formats == kirato::FormatBit(f)) {
      return f;
    }
  }
  return kirato::RecordFormat::kUgf;
}

int ConvertCommand(const kirato::CliOptions& options) {
  const std::string& input = options.operands[1];
  const std::string& output = options.operands[2];
  const bool sgfOut = output == "-";
  if (sgfOut && options.report == "-") {
    return UsageError("the SGF and the report cannot both go to standard "
                      "output");
  }
  CliRun c(options, sgfOut);
  if (!c.StartReport(options.report)) return 2;
  // The game is named after its SGF file; on standard output, after the
  // record.
  std::string gameName = sgfOut ? kirato::ReplaceFileExtension(
                                      std::string(kirato::SystemPaths()
                                                      .FileName(input)),
                                      ".sgf")
                                : output;
  if (sgfOut && input == "-") gameName = "stdin.sgf";
  const bool converted = kirato::ConvertFile(
      c.run, input, output, kirato::SystemPaths().FileName(gameName),
      FormatOfInput(options, input));
  if (c.run.state.report) kirato::FinishRun(c.run);
  return c.Status(converted && !c.run.state.errorFlag ? 0 : 1);
}

int Main(int argc, char** argv) {
  kirato::CliOptions options;
  std::string problem;
  // getopt_long names the program in what it says as argument zero does.
  char name[] = "kirato-cli";
  argv[0] = name;
  if (!kirato::ParseOptions(argc, argv, &options, &problem)) {
    return UsageError(problem);
  }
  if (options.help) {
    std::fputs(kHelp, stdout);
    return WithStreamChecked(stdout, "the help", 0);
  }
  if (options.version) {
    std::printf("kirato-cli %s\n%s", kirato::kVersion,
                kirato::kCopyrightAndLicence);
    return WithStreamChecked(stdout, "the version", 0);
  }
  problem = OperandProblem(options);
  if (!problem.empty()) return UsageError(problem);
  if (options.operands[0] != "convert") return RunDatafileCommand(options);
  if (!options.outputDir.empty()) return ConvertFilesCommand(options);
  return ConvertCommand(options);
}

}  // namespace

int main(int argc, char** argv) {
  kirato::PrepareStandardStreams();
  try {
    std::vector<std::string> words = kirato::ProgramArguments(argc, argv);
    std::vector<char*> args;
    for (std::string& word : words) args.push_back(word.data());
    args.push_back(nullptr);
    return Main(static_cast<int>(words.size()), args.data());
  } catch (const std::bad_alloc&) {  // beyond one record's conversion
    std::fprintf(stderr, "kirato-cli: not enough memory\n");
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kirato-cli: %s\n", e.what());
    return 1;
  }
}
