// kirato-cli: the console front-end. Runs a datafile, or converts one file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>

#include "batch/datafile.h"
#include "batch/disk.h"
#include "batch/process.h"
#include "batch/run_state.h"
#include "batch/walk.h"
#include "convert/text.h"

namespace {

constexpr char kUsage[] =
    "usage: kirato-cli DATAFILE\n"
    "       kirato-cli convert INPUT OUTPUT\n"
    "       kirato-cli --help | --version\n"
    "\n"
    "kirato-cli DATAFILE carries out the commands of DATAFILE (LOG, OUT, IN,\n"
    "CLOSE, FORCEERROR, ';' comments) and prints every message on a line of\n"
    "its own, the summary last. A LOG line writes the trace log beside\n"
    "DATAFILE, with the extension \".log\".\n"
    "Exit status: 0 without errors, 1 when an error was reported, 2 when\n"
    "DATAFILE cannot be opened or the arguments are wrong.\n"
    "\n"
    "kirato-cli convert INPUT OUTPUT converts one UGF file (.ugf, .ugi) into\n"
    "the SGF file OUTPUT, whether or not OUTPUT is up to date. OUTPUT \"-\"\n"
    "writes the SGF to standard output and the messages to standard error.\n"
    "Exit status: 0 when the file was converted, 1 otherwise.\n";

FILE* g_messages = stdout;

void PrintMessage(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), g_messages);
  std::fputc('\n', g_messages);
  std::fflush(g_messages);
}

// A run whose messages were lost (standard output on a full disk, say) must
// not look like a clean one: the summary and any error lines are gone.
int WithMessagesChecked(int status) {
  if (std::fflush(g_messages) == 0 && !std::ferror(g_messages)) return status;
  std::fprintf(stderr, "kirato-cli: the messages could not be written\n");
  return status == 0 ? 1 : status;
}

// Standard output as the output file "-". The SGF is written only once the
// conversion has succeeded, so a failed game leaves nothing half-written.
class StdoutOutput : public kirato::OutputFile {
 public:
  bool Write(std::string_view bytes) override {
    ok_ = ok_ && std::fwrite(bytes.data(), 1, bytes.size(), stdout) ==
                     bytes.size();
    return ok_;
  }
  bool Commit(std::string* err) override {
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) ok_ = false;
    if (!ok_) *err = std::strerror(errno);
    return ok_;
  }

 private:
  bool ok_ = true;
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

 private:
  kirato::Disk& base_;
};

int UsageError() {
  std::fputs(kUsage, stderr);
  return 2;
}

int RunDatafileCommand(const std::string& datafile) {
  kirato::Run run(kirato::SystemDisk(), PrintMessage);
  kirato::ReadExecutableTime(run, kirato::SelfExecutablePath());
  bool opened = false;
  kirato::ExecuteDatafile(run, datafile,
                          kirato::ReplaceFileExtension(datafile, ".log"),
                          &opened);
  if (!opened) return 2;
  return WithMessagesChecked(run.state.errorFlag ? 1 : 0);
}

int ConvertCommand(const std::string& input, const std::string& output) {
  StdoutDisk disk(kirato::SystemDisk());
  std::string gameName = output;
  if (output == "-") {
    g_messages = stderr;
    gameName = kirato::ReplaceFileExtension(
        std::string(kirato::FileNameOf(input)), ".sgf");
  }
  kirato::Run run(disk, PrintMessage);
  const kirato::ConvertResult result = kirato::ConvertFile(
      run, input, output, kirato::FileNameOf(gameName));
  return WithMessagesChecked(result == kirato::kConverted ? 0 : 1);
}

int Main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::puts("kirato 1.0");
    return 0;
  }
  if (argc == 4 && std::strcmp(argv[1], "convert") == 0) {
    return ConvertCommand(argv[2], argv[3]);
  }
  if (argc == 2 && argv[1][0] != '-' && argv[1][0] != '\0' &&
      std::strcmp(argv[1], "convert") != 0) {
    return RunDatafileCommand(argv[1]);
  }
  return UsageError();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::exception& e) {  // only running out of memory
    std::fprintf(stderr, "kirato-cli: %s\n", e.what());
    return 1;
  }
}
