#include "app/command_line.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <sstream>

#include "app/commands.h"
#include "app/program.h"
#include "tests/support/temp_folder.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

using Action = CommandLine::Action;

// The program's command line with these arguments, and them as one text
// for messages.
CommandLine parse(const std::vector<const char*>& arguments,
                  std::string* shown) {
  std::vector<const char*> argv = {"scribeline"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  for (const char* argument : arguments) *shown += std::string(argument) + " ";
  return parseCommandLine(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLineTest, ArgumentsGiveTheirAction) {
  struct Case {
    std::vector<const char*> arguments;
    Action action;
    std::string path;
  };
  const std::vector<Case> cases = {
      {{}, Action::Open, ""},
      {{"photo.jpg"}, Action::Open, "photo.jpg"},
      {{"photo.jpg", "--help"}, Action::Open, "photo.jpg"},  // ignored
      {{"-"}, Action::Open, "-"},
      {{"--", "-name.png"}, Action::Open, "-name.png"},
      {{"--", "--help"}, Action::Open, "--help"},
      {{"--"}, Action::Open, ""},
      {{"--help"}, Action::Help, ""},
      {{"-h"}, Action::Help, ""},
      {{"--version"}, Action::Version, ""},
      {{"--export", "out", "a.jpg", "photos"}, Action::Export, ""},
      {{"--export", "out"}, Action::UsageError, ""},
      {{"--bogus"}, Action::UsageError, ""},
      {{"-x", "photo.jpg"}, Action::UsageError, ""},
  };
  for (const Case& c : cases) {
    std::string shown;
    const CommandLine line = parse(c.arguments, &shown);
    EXPECT_EQ(line.action, c.action) << shown;
    EXPECT_EQ(line.path, c.path) << shown;
    if (line.action == Action::Export) {
      EXPECT_EQ(line.exportFolder, "out");
      EXPECT_EQ(line.exportPaths,
                (std::vector<std::string>{"a.jpg", "photos"}));
    }
    if (line.action == Action::UsageError) {
      EXPECT_NE(line.problem, "") << shown;
    }
  }
}

TEST(CommandLineTest, UsageListsEveryKeyAndTheExitStatuses) {
  const std::string usage = usageText();
  EXPECT_NE(usage.find(helpText()), std::string::npos);
  EXPECT_NE(usage.find(namedKeyHelpText()), std::string::npos);
  for (const Command& command : namedKeyTable())
    EXPECT_NE(usage.find(command.keyName), std::string::npos)
        << command.keyName;
  for (const char* piece :
       {"--export OUT PATH...", "--version", "-- PHOTO", "FOLDER", "PageDown",
        "PageUp", "Ctrl + Z", "Ctrl + Y", "Left", "wheel", "middle", "Recover?",
        "Exit status:\n  0", "\n  1", "\n  2", "\n  129"})
    EXPECT_NE(usage.find(piece), std::string::npos) << piece;
}

// Through the whole program: where each text goes and the exit status; no
// window system is opened for any of these.
TEST(CommandLineTest, HelpVersionAndUsageErrorsThroughTheProgram) {
  struct Case {
    std::vector<const char*> arguments;
    int status;
    std::string console;
    std::string errors;
  };
  const std::vector<Case> cases = {
      {{"--help"}, 0, usageText(), ""},
      {{"--version"}, 0, versionText(), ""},
      {{"--bogus"},
       2,
       "",
       "scribeline: unknown option --bogus\n\n" + usageText()},
  };
  EXPECT_EQ(versionText().rfind("scribeline ", 0), 0u);
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"scribeline"};
    argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
    std::ostringstream console, errors;
    ProgramSettings settings;
    settings.errors = &errors;
    bool opened = false;
    EXPECT_EQ(runProgram(
                  static_cast<int>(argv.size()), argv.data(), console,
                  [&](std::string*) {
                    opened = true;
                    return std::shared_ptr<WindowSystem>();
                  },
                  settings),
              c.status)
        << c.arguments[0];
    EXPECT_EQ(console.str(), c.console) << c.arguments[0];
    EXPECT_EQ(errors.str(), c.errors) << c.arguments[0];
    EXPECT_FALSE(opened);
  }
}

// The export's options stand anywhere after --export; "--" ends them.
TEST(CommandLineTest, ExportOptionsAndImportArguments) {
  struct Case {
    std::vector<const char*> arguments;
    Action action;
    double fraction;
    bool plain;
    std::vector<std::string> operands;  // OUT or SOURCE, then the PATHs
  };
  const std::vector<Case> cases = {
      {{"--export", "--val", "0.2", "out", "a"},
       Action::Export,
       0.2,
       false,
       {"out", "a"}},
      {{"--export", "out", "a", "--val", "1", "--coco-rle", "plain"},
       Action::Export,
       1,
       true,
       {"out", "a"}},
      {{"--export", "out", "--coco-rle", "compressed", "a", "b"},
       Action::Export,
       0,
       false,
       {"out", "a", "b"}},
      {{"--export", "out", "--", "--val", "a"},
       Action::Export,
       0,
       false,
       {"out", "--val", "a"}},
      {{"--export", "out", "a", "--val", "1.5"},
       Action::UsageError,
       0,
       false,
       {}},
      {{"--export", "out", "a", "--val", "-0.1"},
       Action::UsageError,
       0,
       false,
       {}},
      {{"--export", "out", "a", "--val", "0.5x"},
       Action::UsageError,
       0,
       false,
       {}},
      {{"--export", "out", "a", "--val"}, Action::UsageError, 0, false, {}},
      {{"--export", "out", "a", "--coco-rle", "zip"},
       Action::UsageError,
       0,
       false,
       {}},
      {{"--export", "--val", "0.5", "out"}, Action::UsageError, 0, false, {}},
      {{"--import", "coco.json", "a", "photos"},
       Action::Import,
       0,
       false,
       {"coco.json", "a", "photos"}},
      {{"--import", "--", "-s", "a"}, Action::Import, 0, false, {"-s", "a"}},
      {{"--import", "coco.json"}, Action::UsageError, 0, false, {}},
  };
  for (const Case& c : cases) {
    std::string shown;
    const CommandLine line = parse(c.arguments, &shown);
    SCOPED_TRACE(shown);
    ASSERT_EQ(line.action, c.action);
    if (c.action == Action::UsageError) {
      EXPECT_NE(line.problem, "");
      continue;
    }
    std::vector<std::string> operands;
    if (c.action == Action::Export) {
      EXPECT_EQ(line.validationFraction, c.fraction);
      EXPECT_EQ(line.plainRle, c.plain);
      operands = {line.exportFolder};
      operands.insert(operands.end(), line.exportPaths.begin(),
                      line.exportPaths.end());
    } else {
      operands = {line.importSource};
      operands.insert(operands.end(), line.importPaths.begin(),
                      line.importPaths.end());
    }
    EXPECT_EQ(operands, c.operands);
  }
}

TEST(ExportCommandTest, ExitStatusesThroughTheCommandLine) {
  const TempFolder temp("scribeline-export");
  const std::string& folder = temp.path();
  const std::string photo = folder + "/p.png";
  ASSERT_TRUE(cv::imwrite(photo, cv::Mat::zeros(2, 2, CV_8UC3)));
  ProgramSettings settings;
  std::ostringstream errors;
  settings.errors = &errors;
  settings.dataFolders = {};
  auto run = [&](std::vector<const char*> argv) {
    std::ostringstream console;
    argv.insert(argv.begin(), "scribeline");
    return runProgram(
        static_cast<int>(argv.size()), argv.data(), console,
        [](std::string*) { return std::shared_ptr<WindowSystem>(); }, settings);
  };
  const std::string out = folder + "/out";
  EXPECT_EQ(run({"--export", out.c_str()}), 2);
  EXPECT_EQ(run({"--export"}), 2);
  EXPECT_EQ(run({"--export", out.c_str(), photo.c_str()}), 1);  // no mask
  ASSERT_TRUE(cv::imwrite(photo + "_Mask.png", cv::Mat::zeros(2, 2, CV_8UC3)));
  EXPECT_EQ(run({"--export", out.c_str(), photo.c_str()}), 0);
  // The mask comes back from the export; another photo has none there.
  const std::string other = folder + "/q.png";
  ASSERT_TRUE(cv::imwrite(other, cv::Mat::zeros(2, 2, CV_8UC3)));
  EXPECT_EQ(run({"--import", out.c_str(), photo.c_str()}), 0);
  EXPECT_EQ(run({"--import", out.c_str(), photo.c_str(), other.c_str()}), 1);
  EXPECT_EQ(run({"--import", (folder + "/absent").c_str(), photo.c_str()}), 2);
}

}  // namespace
}  // namespace scribeline
