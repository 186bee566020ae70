// The one line of progress a person at a terminal sees during a long run:
// records decided, their rate, the folder being walked. It stands on
// standard error and is erased before any message is printed, so the
// messages on standard output read the same with or without it.
#ifndef KIRATO_APP_CLI_PROGRESS_LINE_H_
#define KIRATO_APP_CLI_PROGRESS_LINE_H_

#include <functional>
#include <string>
#include <string_view>

namespace kirato {

class ProgressLine {
 public:
  // `write` receives what goes to the terminal; `columns` is its width,
  // 0 when there is no terminal. A disabled line, or one without a
  // terminal, writes nothing at all.
  ProgressLine(bool enabled, int columns,
               std::function<void(std::string_view)> write)
      : enabled_(enabled && columns > 0),
        columns_(columns),
        write_(std::move(write)) {}

  // `seconds` since the run began. Nothing is shown during the first
  // second, and the line is redrawn at most ten times a second.
  void Update(int records, std::string_view folder, double seconds);

  // Takes the line off the terminal, if it is on it.
  void Erase();

  // Whether the line is ever drawn.
  bool Enabled() const { return enabled_; }

  // The text shown for these figures, at most `columns` - 1 columns wide.
  static std::string Text(int records, std::string_view folder,
                          double seconds, int columns);

 private:
  bool enabled_;
  int columns_;
  std::function<void(std::string_view)> write_;
  double drawnAt_ = -1;
  size_t shownColumns_ = 0;  // of the line now on the terminal
  std::string folder_;       // the last folder told, for record updates
};

}  // namespace kirato

#endif  // KIRATO_APP_CLI_PROGRESS_LINE_H_
