#include "convert/conversion.h"

namespace kirato {

void Message(Conversion& c, std::string text) {
  const std::string kind = text.substr(0, text.find(':'));
  int& count = c.messageKinds[kind];
  if (++count > kMostMessagesOfAKind) {
    if (count == kMostMessagesOfAKind + 1) c.floodedKinds.emplace_back(kind);
    return;
  }
  c.notes.push_back({NoteKind::kProblem, std::move(text)});
}

void Trace(Conversion& c, std::string_view a, std::string_view b,
           std::string_view c3, std::string_view d) {
  std::string line;
  line.reserve(a.size() + b.size() + c3.size() + d.size());
  line.append(a).append(b).append(c3).append(d);
  c.notes.push_back({NoteKind::kTrace, std::move(line)});
}

void ReportFloods(Conversion& c) {
  for (const std::string& kind : c.floodedKinds) {
    const int more = c.messageKinds[kind] - kMostMessagesOfAKind;
    c.notes.push_back(
        {NoteKind::kProblem, "... and " + std::to_string(more) +
                                 " more like this in " +
                                 std::string(c.options.recordPath)});
  }
}

}  // namespace kirato
