// What one conversion says while it runs: the problems it meets and its
// trace lines, in the order made. Each conversion has its own, so any
// number of them can run side by side.
#ifndef KIRATO_CONVERT_CONVERSION_H_
#define KIRATO_CONVERT_CONVERSION_H_

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "convert/convert.h"

namespace kirato {

struct Conversion {
  explicit Conversion(const ConvertOptions& o = {}) : options(o) {}
  ConvertOptions options;
  std::vector<Note> notes;
  bool refused = false;  // see GameResult
  // Messages made so far of each kind, and the kinds that went over the
  // limit, in the order they did.
  std::unordered_map<std::string, int> messageKinds;
  std::vector<std::string> floodedKinds;
};

// One record shows at most this many messages of one kind: a header line
// of megabytes arrives as thousands of pieces, each an unknown field.
constexpr int kMostMessagesOfAKind = 20;

// Adds a message. Its kind is its text up to the first ':' (all of it
// without one), so "Unknown field: a" and "Unknown field: b" are of one
// kind; messages beyond kMostMessagesOfAKind of a kind are counted and not
// shown.
void Message(Conversion& c, std::string text);

// Adds a trace line joined from the pieces. The caller tests the trace
// level first, so that nothing is joined for a log that is not kept.
void Trace(Conversion& c, std::string_view a, std::string_view b = {},
           std::string_view c3 = {}, std::string_view d = {});

// One line for each kind of message that went over the limit, to follow
// all the record's other messages.
void ReportFloods(Conversion& c);

// Shown when the record needs more memory than there is.
constexpr std::string_view kNoMemoryMessage =
    "Not enough memory for this file. Conversion aborted.";

}  // namespace kirato

#endif  // KIRATO_CONVERT_CONVERSION_H_
