// The directory walk and the conversion of one record.
#ifndef KIRATO_BATCH_WALK_H_
#define KIRATO_BATCH_WALK_H_

#include <string>
#include <string_view>
#include <vector>

#include "batch/run_state.h"

namespace kirato {

// Makes sure `outputDir` exists, then converts every ".ugf" and ".ugi" file
// of `inputDir` and of all its subdirectories into one ".sgf" file each in
// `outputDir`. `lineNumber` is the datafile line, for messages. False when
// the output directory could not be created (or the input directory is
// empty): the message that says so has been shown, and nothing was walked.
bool ProcessDir(Run& run, int lineNumber, const std::string& inputDir,
                const std::string& outputDir);

// Converts the records `files` (paths as the user named them) into one
// ".sgf" file each in `outputDir`, named as the walk names them, deciding
// and reporting as the walk does. False when the output folder could not
// be made, which a message has said.
bool ProcessFiles(Run& run, const std::vector<std::string>& files,
                  const std::string& outputDir);

// The output is newer than the input and than the program (whose time is 0
// when unknown).
bool IsUpToDate(int64_t inputTime, int64_t outputTime, int64_t programTime);

// Converts one file of `format` without the up-to-date test, naming the
// game `gameName`: reads it, converts it, shows the conversion's messages and
// its "convert" line, and stores the output only when everything
// succeeded; otherwise the output stays as it was. A record that cannot be
// read, or an output that cannot be written or is named like a record, is
// named in a message and counts under files failed. True when converted.
bool ConvertFile(Run& run, const std::string& inputPath,
                 const std::string& outputPath, std::string_view gameName,
                 RecordFormat format = RecordFormat::kUgf);

}  // namespace kirato

#endif  // KIRATO_BATCH_WALK_H_
