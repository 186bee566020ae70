#include "batch/report.h"

#include <nlohmann/json.hpp>

#include "batch/run_state.h"

namespace kirato {

namespace {

using Json = nlohmann::ordered_json;

// Paths on POSIX systems are bytes, not always UTF-8; JSON text must be.
// A byte that is no UTF-8 becomes U+FFFD rather than losing the record.
std::string Dump(const Json& object) {
  return object.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// Lines go to the output in large writes, not one system call a record.
constexpr size_t kFlushAt = 1 << 16;

}  // namespace

std::string_view StatusName(RecordStatus status) {
  switch (status) {
    case RecordStatus::kConverted:
      return "converted";
    case RecordStatus::kUpToDate:
      return "up-to-date";
    case RecordStatus::kFailed:
      return "failed";
    case RecordStatus::kRefused:
      return "refused";
    case RecordStatus::kCollision:
      return "collision";
  }
  return "failed";
}

void Report::WriteLine(const std::string& line) {
  buffer_.append(line).append("\n");
  if (buffer_.size() < kFlushAt) return;
  out_->Write(buffer_);  // a failed write is told again by Commit
  buffer_.clear();
}

void Report::Add(std::string_view input, std::string_view output,
                 RecordStatus status, const std::vector<Note>& notes) {
  Json messages = Json::array();
  for (const Note& n : notes) {
    if (n.kind == NoteKind::kProblem) messages.push_back(n.text);
  }
  Json record;
  record["input"] = input;
  record["output"] = output;
  record["status"] = StatusName(status);
  record["messages"] = std::move(messages);
  WriteLine(Dump(record));
}

bool Report::Finish(const RunState& state, int exitStatus, std::string* err) {
  Json summary;
  summary["directories_scanned"] = state.directoriesScanned;
  summary["up_to_date"] = state.filesUpToDate;
  summary["converted"] = state.filesConverted;
  summary["failed"] = state.filesFailed;
  Json closing;
  closing["summary"] = std::move(summary);
  closing["exit_status"] = exitStatus;
  WriteLine(Dump(closing));
  out_->Write(buffer_);
  buffer_.clear();
  return out_->Commit(err);
}

}  // namespace kirato
