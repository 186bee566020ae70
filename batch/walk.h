// The directory walk and the conversion of one file.
#ifndef KIRATO_BATCH_WALK_H_
#define KIRATO_BATCH_WALK_H_

#include <string>
#include <string_view>

#include "batch/run_state.h"

namespace kirato {

// Makes sure `outputDir` exists, then converts every ".ugf" and ".ugi" file
// of `inputDir` and of all its subdirectories into one ".sgf" file each in
// `outputDir`. `lineNumber` is the datafile line, for messages. Returns 1
// when the output directory could not be created (or the input directory is
// empty), else 0.
int ProcessDir(Run& run, int lineNumber, const std::string& inputDir,
               const std::string& outputDir);

// Converts one candidate file unless its output is up to date. Returns 1
// when the input or the output could not be opened, else 0.
int ProcessFile(Run& run, const std::string& inputPath,
                const std::string& outputPath);

// The output is newer than the input and than the program.
bool IsUpToDate(Run& run, const std::string& inputPath,
                const std::string& outputPath);

enum ConvertResult { kConverted = 0, kOpenFailed = 1, kConversionFailed = 2 };

// Converts one file without the up-to-date test: opens both files, converts,
// shows the "convert" line and stores the output only when everything
// succeeded. The game is named after `gameNamePath`. When a file could not
// be opened, *openError (if given) receives the system's text. A read or
// write error counts under files failed, a refused record under none.
ConvertResult ConvertFile(Run& run, const std::string& inputPath,
                          const std::string& outputPath,
                          std::string_view gameNamePath,
                          std::string* openError = nullptr);

}  // namespace kirato

#endif  // KIRATO_BATCH_WALK_H_
