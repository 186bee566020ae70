#include "batch/report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "fake_disk.h"

namespace kirato {
namespace {

std::vector<nlohmann::json> ParseLines(const std::string& text) {
  std::vector<nlohmann::json> objects;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    objects.push_back(nlohmann::json::parse(line));
  }
  return objects;
}

TEST(ReportTest, RecordsThenCountersAppearOnlyWhenFinished) {
  FakeDisk disk;
  std::string err;
  std::unique_ptr<OutputFile> out;
  ASSERT_TRUE(disk.CreateOutput("/report.jsonl", {}, &out, &err));
  Report report(std::move(out));
  const std::vector<Note> notes = {
      {NoteKind::kTrace, "ConvertGame"},
      {NoteKind::kProblem, "Unknown field: \"Foo\\bar\""},
      {NoteKind::kFailed, "convert (FOUT) /in/a.ugf -> /out/a.sgf"}};
  report.Add("/in/a.ugf", "/out/a.sgf", RecordStatus::kFailed, notes);
  // A path that is no UTF-8 still gives valid JSON and its record.
  report.Add("/in/\xff.ugf", "/out/\xff.sgf", RecordStatus::kUpToDate, {});
  EXPECT_FALSE(disk.Exists("/report.jsonl"));

  RunState state;
  state.directoriesScanned = 1;
  state.filesUpToDate = 1;
  state.filesFailed = 1;
  ASSERT_TRUE(report.Finish(state, 1, &err)) << err;
  const std::vector<nlohmann::json> objects =
      ParseLines(disk.Content("/report.jsonl"));
  ASSERT_EQ(3u, objects.size());
  EXPECT_EQ(nlohmann::json::parse(R"({"input": "/in/a.ugf",
      "output": "/out/a.sgf", "status": "failed",
      "messages": ["Unknown field: \"Foo\\bar\""]})"),
            objects[0]);
  EXPECT_EQ("/in/\xEF\xBF\xBD.ugf", objects[1]["input"]);
  EXPECT_EQ("up-to-date", objects[1]["status"]);
  EXPECT_EQ(nlohmann::json::parse(R"({"summary": {"directories_scanned": 1,
      "up_to_date": 1, "converted": 0, "failed": 1}, "exit_status": 1})"),
            objects[2]);
}

TEST(ReportTest, AReportThatCannotBeWrittenIsNotPutInPlace) {
  FakeDisk disk;
  disk.spaceLeft = 20;
  std::string err;
  std::unique_ptr<OutputFile> out;
  ASSERT_TRUE(disk.CreateOutput("/report.jsonl", {}, &out, &err));
  Report report(std::move(out));
  report.Add("/in/a.ugf", "/out/a.sgf", RecordStatus::kConverted, {});
  EXPECT_FALSE(report.Finish(RunState(), 0, &err));
  EXPECT_EQ("No space left on device", err);
  EXPECT_FALSE(disk.Exists("/report.jsonl"));
}

}  // namespace
}  // namespace kirato
