#pragma once

#include <string>
#include <vector>

namespace scribeline {

// What the command line asks for. Only the first argument can be an option;
// after a photo or folder path further arguments are ignored.
struct CommandLine {
  enum class Action { Open, Help, Version, Export, Import, UsageError };
  Action action = Action::Open;
  // Open: the photo or folder; empty for the default photo.
  std::string path;
  // Export: OUT and the PATHs.
  std::string exportFolder;
  std::vector<std::string> exportPaths;
  double validationFraction = 0;  // --val
  bool plainRle = false;          // --coco-rle plain
  // Import: SOURCE and the PATHs.
  std::string importSource;
  std::vector<std::string> importPaths;
  // UsageError: what is wrong, one line without line feed.
  std::string problem;
};

// Reads argv: no argument opens the default photo; "--help" or "-h",
// "--version", "--export [--val FRACTION] [--coco-rle FORM] OUT PATH..."
// (the two options may stand anywhere after --export, and a "--" there
// makes every later argument OUT or a PATH), "--import SOURCE PATH..."
// (a "--" right after --import makes the rest SOURCE and PATHs); "--" makes the
// next argument a path even when it starts with '-'; any other argument
// starting with '-' (but
// "-" itself) is an unknown option.
CommandLine parseCommandLine(int argc, const char* const* argv);

// The text of --help: usage, every key and mouse action, the export and the
// exit statuses.
std::string usageText();

// The text of --version, one line.
std::string versionText();

}  // namespace scribeline
