#include "app/command_line.h"

#include <cstdlib>

#include "app/commands.h"

#ifndef SCRIBELINE_VERSION
#define SCRIBELINE_VERSION "unknown"
#endif

namespace scribeline {
namespace {

CommandLine usageError(const std::string& problem) {
  CommandLine line;
  line.action = CommandLine::Action::UsageError;
  line.problem = problem;
  return line;
}

// A decimal number from 0 to 1, written whole ("0.2", "1", ".5", "2e-1").
bool readFraction(const std::string& text, double* fraction) {
  if (text.empty() ||
      text.find_first_not_of("0123456789.eE+-") != std::string::npos)
    return false;
  char* end = nullptr;
  *fraction = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && *fraction >= 0 && *fraction <= 1;
}

CommandLine parseExport(int argc, const char* const* argv) {
  CommandLine line;
  line.action = CommandLine::Action::Export;
  std::vector<std::string> operands;
  bool options = true;
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    if (options && argument == "--") {
      options = false;
    } else if (options && argument == "--val") {
      if (i + 1 >= argc || !readFraction(argv[i + 1], &line.validationFraction))
        return usageError("--val needs a FRACTION from 0 to 1");
      ++i;
    } else if (options && argument == "--coco-rle") {
      const std::string form = i + 1 < argc ? argv[i + 1] : "";
      if (form != "plain" && form != "compressed")
        return usageError("--coco-rle needs plain or compressed");
      line.plainRle = form == "plain";
      ++i;
    } else {
      operands.push_back(argument);
    }
  }
  if (operands.size() < 2)
    return usageError("--export needs a folder OUT and at least one PATH");
  line.exportFolder = operands.front();
  line.exportPaths.assign(operands.begin() + 1, operands.end());
  return line;
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
  CommandLine line;
  if (argc < 2) return line;
  const std::string first = argv[1];
  if (first == "--help" || first == "-h") {
    line.action = CommandLine::Action::Help;
  } else if (first == "--version") {
    line.action = CommandLine::Action::Version;
  } else if (first == "--export") {
    return parseExport(argc, argv);
  } else if (first == "--import") {
    const int start = argc > 2 && std::string(argv[2]) == "--" ? 3 : 2;
    if (argc - start < 2)
      return usageError("--import needs a SOURCE and at least one PATH");
    line.action = CommandLine::Action::Import;
    line.importSource = argv[start];
    line.importPaths.assign(argv + start + 1, argv + argc);
  } else if (first == "--") {
    if (argc > 2) line.path = argv[2];
  } else if (first.size() > 1 && first[0] == '-') {
    line.action = CommandLine::Action::UsageError;
    line.problem = "unknown option " + first;
  } else {
    line.path = first;
  }
  return line;
}

std::string versionText() {
  return std::string("scribeline ") + SCRIBELINE_VERSION + "\n";
}

std::string usageText() {
  return std::string(
             "Usage:\n"
             "  scribeline [PHOTO]      draw the label mask of PHOTO (default "
             "sample.JPG);\n"
             "                          the mask is saved as PHOTO_Mask.png\n"
             "  scribeline FOLDER       the folder's photos one after another, "
             "in name order\n"
             "  scribeline -- PHOTO     PHOTO may start with '-'\n"
             "  scribeline --export OUT PATH...\n"
             "                          write the masks of the photos (PATH: "
             "a photo or a folder)\n"
             "                          as a data set under OUT\n"
             "      --val FRACTION      put that share of the photos in "
             "val.txt (default 0)\n"
             "      --coco-rle plain    write COCO's RLE counts as lists of "
             "numbers\n"
             "                          (default: its compressed strings)\n"
             "  scribeline --import SOURCE PATH...\n"
             "                          write each photo's mask from SOURCE "
             "(an export's folder\n"
             "                          or a COCO JSON file)\n"
             "  scribeline --help       this text\n"
             "  scribeline --version    the version\n"
             "\n") +
         helpText() + "Keys beyond the list above:\n" + namedKeyHelpText() +
         "Escape asks \"Save?\": Yes saves and quits, No quits without "
         "saving, and\n"
         "Escape there (or Cancel, or closing the question) goes back to the "
         "photo.\n"
         "\n"
         "Mouse in the main window: the left button works with the current "
         "tool;\n"
         "the wheel zooms, a middle-button drag pans (in the \"Mask\" window "
         "too,\n"
         "which follows the main window's zoom and pan).\n"
         "\n"
         "Unsaved work is autosaved within seconds as PHOTO_Mask.autosave.png "
         "(or under\n"
         "~/.local/state/scribeline when the photo's folder cannot be "
         "written); the next\n"
         "start offers it (\"Recover?\"). A save keeps the mask file it "
         "replaces as\n"
         "PHOTO_Mask.png~.\n"
         "\n"
         "An open photo is locked (PHOTO_Mask.lock, naming host, process, user "
         "and time):\n"
         "another instance names the holder and asks \"Open anyway?\"; in a "
         "FOLDER it\n"
         "passes over photos open elsewhere. A lock whose process has ended "
         "is taken over.\n"
         "\n"
         "Label names: label_list.txt beside the photo, else in the working\n"
         "directory, else in the installed share/scribeline folder.\n"
         "\n"
         "Export: for each photo with a mask of its size, OUT gets\n"
         "  SegmentationClass/<name>.png   8-bit palette PNG of label "
         "indices, 255 = void\n"
         "  JPEGImages/<photo file name>   the photo (a hard link where "
         "possible)\n"
         "  ImageSets/Segmentation/default.txt   one name per line\n"
         "  labelmap.txt                   label names and colours for CVAT\n"
         "and the pixel count of every label is printed.\n"
         "\n"
         "Import: for each photo that SOURCE has a mask for (by the photo's "
         "name without\n"
         "extension: SOURCE/SegmentationClass/<name>.png of 8-bit indices, "
         "or the COCO\n"
         "image of that file name), PHOTO_Mask.png is written in the label "
         "colours\n"
         "(255 = void becomes white); a mask file there is kept as "
         "PHOTO_Mask.png~.\n"
         "\n"
         "Exit status:\n"
         "  0  --help, --version; export: every photo exported; the photo "
         "cannot be read\n"
         "  1  after a session (Escape); No to \"Open anyway?\"; export: some "
         "photos skipped\n"
         "  2  a usage error; export refused; no display can be opened\n"
         "  (import as export: 0 every photo imported, 1 some skipped, 2 "
         "refused)\n"
         "  129  the display went away (the work autosaved first)\n"
         "  128 + N  ended by signal N: SIGTERM, SIGHUP or SIGINT (the work "
         "autosaved first)\n";
}

}  // namespace scribeline
