#include "app/cli/progress_line.h"

#include <cstdio>

namespace kirato {

namespace {

constexpr double kQuietSeconds = 1.0;
constexpr double kRedrawSeconds = 0.1;

bool IsLeadByte(unsigned char c) { return (c & 0xC0) != 0x80; }

// Columns a UTF-8 text takes: wide East Asian characters take two, which
// is what most of these paths hold beyond ASCII; counting every such
// character as two never lets the line wrap.
size_t Columns(std::string_view text) {
  size_t columns = 0;
  for (unsigned char c : text) {
    if (c < 0x80) {
      ++columns;
    } else if (IsLeadByte(c)) {
      columns += 2;
    }
  }
  return columns;
}

// The end of `text` that fits in `budget` columns, whole characters only,
// with "..." before it when something was left out: the deepest folders
// tell most of where the run is.
std::string TailThatFits(std::string_view text, size_t budget) {
  if (Columns(text) <= budget) return std::string(text);
  size_t start = text.size();
  size_t used = 3;
  while (start > 0) {
    size_t lead = start - 1;
    while (lead > 0 && !IsLeadByte(static_cast<unsigned char>(text[lead]))) {
      --lead;
    }
    const size_t width = static_cast<unsigned char>(text[lead]) < 0x80 ? 1 : 2;
    if (used + width > budget) break;
    used += width;
    start = lead;
  }
  std::string tail = "...";  // appended: g++ 12 warns wrongly on a '+'
  tail.append(text.substr(start));
  return tail;
}

}  // namespace

std::string ProgressLine::Text(int records, std::string_view folder,
                               double seconds, int columns) {
  char figures[64];
  const double rate = seconds > 0 ? records / seconds : 0;
  std::snprintf(figures, sizeof figures, "%d records, %.0f/s", records, rate);
  std::string text = figures;
  const size_t width = columns > 1 ? static_cast<size_t>(columns) - 1 : 0;
  if (Columns(text) >= width) return text.substr(0, width);
  // A folder shown as "..." alone would tell nothing.
  if (!folder.empty() && width >= text.size() + 2 + 4) {
    const std::string tail = TailThatFits(folder, width - text.size() - 2);
    text.append(", ").append(tail);
  }
  return text;
}

void ProgressLine::Update(int records, std::string_view folder,
                          double seconds) {
  if (!enabled_) return;
  if (!folder.empty()) folder_.assign(folder);
  if (seconds < kQuietSeconds) return;
  if (drawnAt_ >= 0 && seconds - drawnAt_ < kRedrawSeconds) return;
  drawnAt_ = seconds;
  const std::string text = Text(records, folder_, seconds, columns_);
  const size_t columns = Columns(text);
  // Blanks cover what a longer line before left; no terminal escapes, so
  // the Windows console shows it the same.
  std::string line = "\r";
  line.append(text);
  if (shownColumns_ > columns) line.append(shownColumns_ - columns, ' ');
  shownColumns_ = columns;
  write_(line);
}

void ProgressLine::Erase() {
  if (shownColumns_ == 0) return;
  std::string blank = "\r";
  blank.append(shownColumns_, ' ').append("\r");
  write_(blank);
  shownColumns_ = 0;
  drawnAt_ = -1;
}

}  // namespace kirato
