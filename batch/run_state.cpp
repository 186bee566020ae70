#include "batch/run_state.h"

#include <cstdarg>
#include <cstdio>

namespace kirato {

void ShowMessage(Run& run, std::string_view text) {
  if (run.sink) run.sink(text);
}

void ShowAndTrace(Run& run, std::string_view text) {
  ShowMessage(run, text);
  if (run.state.traceLevel >= 1) TraceWrite(run, text);
}

void OpenTraceLog(Run& run, int level, const std::string& path) {
  RunState& state = run.state;
  state.log.reset();  // flushes and closes the previous log
  state.traceLevel = 0;
  std::string err;
  state.log = run.disk.OpenLog(path, &err);
  if (!state.log) {
    ShowMessage(run, Format("Cannot open logfile '%s', error: %s", path.c_str(),
                            err.c_str()));
    return;
  }
  state.traceLevel = level;
}

void TraceWrite(Run& run, std::string_view a, std::string_view b,
                std::string_view c, std::string_view d) {
  LogFile* log = run.state.log.get();
  if (!log) return;
  std::string line;
  line.reserve(a.size() + b.size() + c.size() + d.size() + 2);
  line.append(a).append(b).append(c).append(d).append("\r\n");
  log->Write(line);
}

std::string Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, fmt, args);
  va_end(args);
  std::string out;
  if (size > 0) {
    out.resize(static_cast<size_t>(size));
    std::vsnprintf(out.data(), out.size() + 1, fmt, again);
  }
  va_end(again);
  return out;
}

}  // namespace kirato
