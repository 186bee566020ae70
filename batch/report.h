// The run's report for scripts: JSON Lines, one object for each record the
// walk decided on and one closing object with the counters and the exit
// status. It is written as it goes into an output that appears under its
// name only when the run is over, so a script never reads half a report.
#ifndef KIRATO_BATCH_REPORT_H_
#define KIRATO_BATCH_REPORT_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "batch/disk.h"
#include "convert/convert.h"

namespace kirato {

struct RunState;

enum class RecordStatus { kConverted, kUpToDate, kFailed, kRefused, kCollision };

// The word the report uses for a status.
std::string_view StatusName(RecordStatus status);

class Report {
 public:
  explicit Report(std::unique_ptr<OutputFile> out) : out_(std::move(out)) {}

  // One record: its paths as the messages show them, what became of it and
  // the messages it gave (trace lines are left out).
  void Add(std::string_view input, std::string_view output,
           RecordStatus status, const std::vector<Note>& notes);

  // Writes the closing object and puts the report in place. False, with
  // *err set, when any of it could not be written.
  bool Finish(const RunState& state, int exitStatus, std::string* err);

 private:
  void WriteLine(const std::string& line);

  std::unique_ptr<OutputFile> out_;
  std::string buffer_;  // lines not yet handed to the output
};

}  // namespace kirato

#endif  // KIRATO_BATCH_REPORT_H_
