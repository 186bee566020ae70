// kirato-cli: the console front-end. Runs a datafile, or converts one file.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/options.h"
#include "app/version.h"
#include "batch/datafile.h"
#include "batch/disk.h"
#include "batch/dry_run_disk.h"
#include "batch/process.h"
#include "batch/run_state.h"
#include "batch/walk.h"

namespace {

constexpr char kUsageLine[] =
    "Usage: kirato-cli [OPTION]... DATAFILE | convert INPUT OUTPUT\n";

constexpr char kHelp[] =
    "Usage: kirato-cli [OPTION]... DATAFILE\n"
    "  or:  kirato-cli [OPTION]... convert INPUT OUTPUT\n"
    "Convert Go game records from UGF (.ugf, .ugi) into SGF.\n"
    "\n"
    "With DATAFILE, carry out its commands (LOG, OUT, IN, CLOSE, FORCEERROR,\n"
    "THREADS, CHARSET, ';' comments): convert every record under each IN\n"
    "folder whose SGF file in the OUT folder is missing, or not newer than\n"
    "the record and than this program, and print every message on a line of\n"
    "its own, the summary last. A LOG line writes the trace log beside\n"
    "DATAFILE, with the extension \".log\". -j and --charset hold over the\n"
    "datafile's THREADS and CHARSET lines.\n"
    "\n"
    "With convert, convert the one record INPUT into the SGF file OUTPUT,\n"
    "whether or not OUTPUT is up to date. OUTPUT \"-\" writes the SGF to\n"
    "standard output and the messages to standard error.\n"
    "\n"
    "  -f, --force     convert every record, whatever the file times say\n"
    "  -n, --dry-run   decide and report as a real run would, but write\n"
    "                    nothing: no folder, no SGF file, no trace log\n"
    "  -q, --quiet     leave out the line of each record converted; problems\n"
    "                    and the summary are still printed\n"
    "  -j, --jobs=N    convert up to N records at once (default: one per\n"
    "                    processor core, or the datafile's THREADS=N); the\n"
    "                    output is the same for any N\n"
    "      --charset=keep  copy the records' bytes as they are instead of\n"
    "                    decoding them to UTF-8 (--charset=utf-8, the default\n"
    "                    unless the datafile says CHARSET=KEEP)\n"
    "      --help      display this help and exit\n"
    "      --version   output version information and exit\n"
    "\n"
    "Exit status:\n"
    " 0  no error was reported (with convert: the record was converted)\n"
    " 1  an error was reported\n"
    " 2  DATAFILE cannot be opened, or the arguments are wrong\n";

// Where the run's messages go, and which of them are left out. A person
// at a terminal sees each line at once; a file or a pipe gets them in large
// writes, not one system call a line.
struct Console {
  Console(FILE* out, bool q)
      : messages(out), quiet(q), interactive(::isatty(::fileno(out)) != 0) {}
  FILE* messages;
  bool quiet;
  bool interactive;

  void Print(kirato::NoteKind kind, std::string_view line) const {
    if (quiet && kind == kirato::NoteKind::kConverted) return;
    std::fwrite(line.data(), 1, line.size(), messages);
    std::fputc('\n', messages);
    if (interactive) std::fflush(messages);
  }
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

// The system disk, but with "-" standing for standard output.
class StdoutDisk : public kirato::Disk {
 public:
  explicit StdoutDisk(kirato::Disk& base) : base_(base) {}
  int Stat(const std::string& p, kirato::FileStatus* st) override {
    if (p == "-") {
      *st = kirato::FileStatus();
      return -1;
    }
    return base_.Stat(p, st);
  }
  int ListDir(const std::string& d, std::vector<kirato::DirEntry>* e,
              std::string* err) override {
    return base_.ListDir(d, e, err);
  }
  MakeDirResult MakeDir(const std::string& p, std::string* err) override {
    return base_.MakeDir(p, err);
  }
  ReadResult ReadFile(const std::string& p, std::string* bytes,
                      std::string* err) override {
    return base_.ReadFile(p, bytes, err);
  }
  std::unique_ptr<kirato::OutputFile> CreateOutput(
      const std::string& p, const kirato::FileStatus& known,
      std::string* err) override {
    if (p == "-") return std::make_unique<StdoutOutput>();
    return base_.CreateOutput(p, known, err);
  }
  std::unique_ptr<kirato::LogFile> OpenLog(const std::string& p,
                                           std::string* err) override {
    return base_.OpenLog(p, err);
  }
  int Remove(const std::string& p) override {
    return p == "-" ? 0 : base_.Remove(p);
  }
  bool SyncWritten(std::string* err) override {
    return base_.SyncWritten(err);
  }

 private:
  kirato::Disk& base_;
};

int UsageError(const std::string& problem) {
  std::fprintf(stderr,
               "kirato-cli: %s\n%sTry 'kirato-cli --help' for more "
               "information.\n",
               problem.c_str(), kUsageLine);
  return 2;
}

// What is wrong with the words that remain after the options; empty when
// they make a command.
std::string OperandProblem(const std::vector<std::string>& words) {
  if (words.empty()) return "missing DATAFILE operand";
  const size_t wanted = words[0] == "convert" ? 3 : 1;
  if (words.size() < wanted) return "convert needs INPUT and OUTPUT operands";
  if (words.size() > wanted) return "extra operand '" + words[wanted] + "'";
  return {};
}

int RunDatafileCommand(const kirato::CliOptions& options) {
  const std::string& datafile = options.operands[0];
  kirato::DryRunDisk dryRun(kirato::SystemDisk());
  kirato::Disk& disk = options.dryRun ? dryRun : kirato::SystemDisk();
  const Console console{stdout, options.quiet};
  kirato::Run run(disk, [&](kirato::NoteKind kind, std::string_view line) {
    console.Print(kind, line);
  });
  run.state.force = options.force;
  run.state.threads = options.threads;
  run.state.charset = options.charset;
  run.state.threadsFixed = options.threadsGiven;
  run.state.charsetFixed = options.charsetGiven;
  kirato::ReadExecutableTime(run, kirato::SelfExecutablePath());
  bool opened = false;
  std::string openError;
  kirato::ExecuteDatafile(run, datafile,
                          kirato::ReplaceFileExtension(datafile, ".log"),
                          &opened, &openError);
  if (!opened) {
    std::fprintf(stderr, "kirato-cli: cannot open datafile '%s': %s\n",
                 datafile.c_str(), openError.c_str());
    return 2;
  }
  return WithStreamChecked(stdout, "the messages",
                           run.state.errorFlag ? 1 : 0);
}

int ConvertCommand(const kirato::CliOptions& options) {
  const std::string& input = options.operands[1];
  const std::string& output = options.operands[2];
  StdoutDisk toStdout(kirato::SystemDisk());
  kirato::DryRunDisk dryRun(toStdout);
  kirato::Disk& disk =
      options.dryRun ? static_cast<kirato::Disk&>(dryRun) : toStdout;
  // With the SGF on standard output, the messages go to standard error.
  const bool sgfOut = output == "-";
  const Console console{sgfOut ? stderr : stdout, options.quiet};
  const std::string gameName =
      sgfOut ? kirato::ReplaceFileExtension(
                   std::string(kirato::SystemPaths().FileName(input)), ".sgf")
             : output;
  kirato::Run run(disk, [&](kirato::NoteKind kind, std::string_view line) {
    console.Print(kind, line);
  });
  run.state.charset = options.charset;
  const kirato::ConvertResult result = kirato::ConvertFile(
      run, input, output, kirato::SystemPaths().FileName(gameName));
  return WithStreamChecked(console.messages, "the messages",
                           result == kirato::kConverted ? 0 : 1);
}

int Main(int argc, char** argv) {
  kirato::CliOptions options;
  std::string problem;
  if (kirato::ParseOptions(argc, argv, &options, &problem) != 0) {
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
  problem = OperandProblem(options.operands);
  if (!problem.empty()) return UsageError(problem);
  if (options.operands[0] == "convert") return ConvertCommand(options);
  return RunDatafileCommand(options);
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
