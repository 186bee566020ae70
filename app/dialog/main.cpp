// kirato: the dialog program. Runs the datafile that lies beside it, shows
// every message in its window and closes itself when the datafile asks.
#include <cstdio>
#include <string>

#include "app/common/command_line.h"
#include "app/dialog/converter_app.h"
#include "batch/process.h"

int main(int argc, char** argv) {
  // Started with a descriptor closed (a scheduler without a console), the
  // trace log or an SGF file would take its place and receive what the
  // toolkit prints.
  kirato::PrepareStandardStreams();
  // Answered before the window toolkit starts: a terminal without a display
  // gets its answer too, and neither word is taken for a program to run.
  const std::string info = argc > 1 ? kirato::InfoOptionText(argv[1]) : "";
  if (!info.empty()) {
    std::fputs(info.c_str(), stdout);
    return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
  }
  kirato::CConverterApp app(argc, argv);
  return app.InitInstance();
}
