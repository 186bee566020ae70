#include "app/common/command_line.h"

#include <cstring>

#include "app/version.h"
#include "base/ascii.h"
#include "batch/process.h"
#include "batch/run_state.h"

namespace kirato {

namespace {

bool HasBlank(const std::string& argument) {
  return argument.find_first_of(" \t") != std::string::npos;
}

}  // namespace

std::string CommandLineText(const std::vector<std::string>& arguments) {
  std::string text;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (i > 0) text += ' ';
    if (HasBlank(argument)) {
      text.append("\"").append(argument).append("\"");
    } else {
      text += argument;
    }
  }
  return text;
}

std::string_view TextAfterProgramName(std::string_view commandLine) {
  size_t pos = 0;
  if (!commandLine.empty() && commandLine[0] == '"') {
    pos = commandLine.find('"', 1);
    pos = pos == std::string_view::npos ? commandLine.size() : pos + 1;
  } else {
    while (pos < commandLine.size() && commandLine[pos] != ' ' &&
           commandLine[pos] != '\t') {
      ++pos;
    }
  }
  while (pos < commandLine.size() &&
         (commandLine[pos] == ' ' || commandLine[pos] == '\t')) {
    ++pos;
  }
  return commandLine.substr(pos);
}

std::string CommandLineProgramName(std::string_view commandLine) {
  size_t pos = SkipSpace(commandLine, 0);
  char quote = '\0';
  if (pos < commandLine.size() &&
      (commandLine[pos] == '"' || commandLine[pos] == '\'')) {
    quote = commandLine[pos];
    ++pos;
  }
  std::string_view name = commandLine.substr(pos, kMaxProgramNameLength);
  if (quote != '\0') name = name.substr(0, name.find(quote));
  return std::string(name);
}

std::string StartFailureText(const std::string& programName, int error) {
  // The line breaks are written line feed first, then carriage return.
  return Format(
      "The program specified on the commandline could not be started\n\r\n\r"
      "The commandline: '%s'\n\r\n\rError description: %d - %s",
      programName.c_str(), error, std::strerror(error));
}

std::string InfoOptionText(std::string_view firstArgument) {
  if (firstArgument == "--help") return WindowHelpText();
  if (firstArgument != "--version") return {};
  return std::string("kirato ") + kVersion + "\n" + kCopyrightAndLicence;
}

bool RunCommandLineProgram(const std::string& commandLine,
                           std::string* failureText) {
  if (commandLine.empty()) return true;
  const std::string name = CommandLineProgramName(commandLine);
  int status = 0;
  int error = 0;
  // The exit status is of no interest: the run follows whatever it was.
  if (RunProgramAndWait(name, &status, &error)) return true;
  *failureText = StartFailureText(name, error);
  return false;
}

}  // namespace kirato
