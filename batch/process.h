// Process services of the platform: where the running program lies, and
// starting another program and waiting for it.
#ifndef KIRATO_BATCH_PROCESS_H_
#define KIRATO_BATCH_PROCESS_H_

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace kirato {

// The program file of this process, links resolved; empty when unknown.
std::string SelfExecutablePath();

// The path under which this program was started, links kept (a link in a job
// folder gives the link's path), made absolute. `argv0` is the program's
// argument zero. Falls back to SelfExecutablePath().
std::string InvokedProgramPath(const char* argv0);

// Starts `name` with `name` as its only argument (argument zero), the same
// environment and current directory, and waits for it without a time limit.
// A name without '/' is looked for in the current directory only. True
// with *exitStatus set when it ran; false with *error set when it could
// not be started. The reason is an errno value rather than a text, as the
// window's message shows its number too.
bool RunProgramAndWait(const std::string& name, int* exitStatus, int* error);

// The program's arguments, argument zero first, in the encoding the
// program's paths use (UTF-8 where the system hands over wide characters).
std::vector<std::string> ProgramArguments(int argc, char** argv);

// This process's id, as the names of its temporary files carry it.
int64_t CurrentProcessId();

// True when no process of id `pid` runs any more, so that what it left
// behind may go. False when that cannot be told.
bool ProcessEnded(int64_t pid);

// Makes standard output and standard error carry the program's bytes as
// they are: SGF text must reach a file byte for byte, and messages are in
// the encoding of the paths they name. Where the program was started with
// a standard stream closed, something takes its place on which writing
// fails, so that no file the program opens gets its messages, and a run
// whose messages are lost can say so. Called first thing in main.
void PrepareStandardStreams();

// The width of the terminal that `stream` writes to, in columns; 0 when
// it writes to no terminal (a file, a pipe, nothing).
int TerminalColumns(FILE* stream);

}  // namespace kirato

#endif  // KIRATO_BATCH_PROCESS_H_
