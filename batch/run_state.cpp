#include "batch/run_state.h"

#include <cstdarg>
#include <cstdio>

#include "batch/pool.h"

namespace kirato {

void ShowMessageNow(Run& run, NoteKind kind, std::string_view text) {
  if (run.sink) run.sink(kind, text);
  // A log kept at any level holds every message the user was shown.
  if (run.state.traceLevel >= 1) TraceWriteNow(run, text);
}

namespace {

// A log cut short without a word would pass for a whole one: the run says
// so once, and traces no more.
void LogFailed(Run& run, const std::string& err) {
  RunState& state = run.state;
  state.log.reset();
  state.traceLevel = 0;
  state.errorFlag = true;
  ShowMessageNow(run, NoteKind::kProblem,
                 Format("Cannot write logfile '%s', error: %s",
                        state.logPath.c_str(), err.c_str()));
}

}  // namespace

void TraceWriteNow(Run& run, std::string_view line) {
  LogFile* log = run.state.log.get();
  if (!log) return;
  std::string text;
  text.reserve(line.size() + 2);
  text.append(line).append("\r\n");
  std::string err;
  if (!log->Write(text, &err)) LogFailed(run, err);
}

void FlushTraceLog(Run& run) {
  std::string err;
  if (run.state.log && !run.state.log->Flush(&err)) LogFailed(run, err);
}

void ShowMessage(Run& run, std::string_view text, NoteKind kind) {
  if (run.pool && run.pool->Busy()) {
    run.pool->Defer(kind, text);
    return;
  }
  ShowMessageNow(run, kind, text);
}

void ReportProgress(Run& run, std::string_view folder) {
  if (!run.progress) return;
  const RunState& s = run.state;
  run.progress(
      {s.filesUpToDate + s.filesConverted + s.filesFailed, folder});
}

void TraceWrite(Run& run, std::string_view a, std::string_view b,
                std::string_view c, std::string_view d) {
  if (!run.state.log) return;
  std::string line;
  line.reserve(a.size() + b.size() + c.size() + d.size());
  line.append(a).append(b).append(c).append(d);
  if (run.pool && run.pool->Busy()) {
    run.pool->Defer(NoteKind::kTrace, line);
    return;
  }
  TraceWriteNow(run, line);
}

void OpenTraceLog(Run& run, int level, const std::string& path) {
  RunState& state = run.state;
  FlushTraceLog(run);
  state.log.reset();
  state.traceLevel = 0;
  std::string err;
  const bool opened = run.disk.OpenLog(path, &state.log, &err);
  state.logPath = path;
  if (!opened) {
    ShowMessage(run, Format("Cannot open logfile '%s', error: %s", path.c_str(),
                            err.c_str()));
    state.errorFlag = true;
    return;
  }
  state.traceLevel = level;
}

bool OpenReport(Run& run, const std::string& path, std::string* err) {
  FileStatus st;
  run.disk.Stat(path, &st);
  std::unique_ptr<OutputFile> out;
  if (!run.disk.CreateOutput(path, st, &out, err)) return false;
  run.state.report = std::make_unique<Report>(std::move(out));
  run.state.reportPath = path;
  return true;
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
