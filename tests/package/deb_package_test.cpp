#include <gtest/gtest.h>
#include <stdio.h>

#include <cstdlib>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <string>

#include "tests/support/temp_folder.h"

namespace {

using scribeline::TempFolder;

// Runs a shell command; returns its standard output, and its exit status in
// *status.
std::string runCommand(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) {
    *status = -1;
    return output;
  }
  char buffer[4096];
  size_t read;
  while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0)
    output.append(buffer, read);
  const int result = ::pclose(pipe);
  *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return output;
}

class DebPackageTest : public testing::Test {
 protected:
  TempFolder temp{"scribeline-deb"};
  std::string folder = temp.path();
};

TEST_F(DebPackageTest, InstallsTheToolItsDataAndDeclaresItsDependencies) {
  int status = 0;
  const std::string log =
      runCommand(std::string("'") + CPACK_COMMAND + "' -G DEB --config '" +
                     CPACK_CONFIG + "' -B '" + folder + "' 2>&1",
                 &status);
  ASSERT_EQ(status, 0) << log;
  const std::string package =
      folder + "/scribeline_" PACKAGE_VERSION "_amd64.deb";
  ASSERT_TRUE(std::ifstream(package).good()) << log;

  const std::string contents =
      runCommand("dpkg-deb -c '" + package + "'", &status);
  ASSERT_EQ(status, 0);
  for (const char* file :
       {"./usr/bin/scribeline", "./usr/share/applications/scribeline.desktop",
        "./usr/share/scribeline/label_list.txt",
        "./usr/share/icons/hicolor/64x64/apps/scribeline.png"})
    EXPECT_NE(contents.find(std::string(" ") + file + "\n"), std::string::npos)
        << file << " missing from\n"
        << contents;

  const std::string depends =
      runCommand("dpkg-deb -f '" + package + "' Depends", &status);
  ASSERT_EQ(status, 0);
  for (const char* dependency :
       {"libc6", "libstdc++6", "libopencv-core", "libopencv-highgui",
        "libopencv-imgcodecs", "libpng16-16", "libqt5widgets5"})
    EXPECT_NE(depends.find(dependency), std::string::npos)
        << dependency << " missing from " << depends;
  EXPECT_EQ(runCommand("dpkg-deb -f '" + package + "' Package", &status),
            "scribeline\n");

  // Unpacked anywhere, the program finds the package's label list beside
  // itself: an export from a folder without a list names the labels.
  const std::string tree = folder + "/tree";
  ASSERT_EQ(
      std::system(("dpkg-deb -x '" + package + "' '" + tree + "'").c_str()), 0);
  const std::string program = tree + "/usr/bin/scribeline";
  EXPECT_EQ(runCommand("'" + program + "' --version", &status),
            "scribeline " PACKAGE_VERSION "\n");
  EXPECT_EQ(status, 0);
  const std::string photo = folder + "/photo.png";
  ASSERT_TRUE(cv::imwrite(photo, cv::Mat::zeros(2, 2, CV_8UC3)));
  ASSERT_TRUE(cv::imwrite(photo + "_Mask.png", cv::Mat::zeros(2, 2, CV_8UC3)));
  const std::string report = runCommand(
      "cd '" + folder + "' && '" + program + "' --export out photo.png",
      &status);
  EXPECT_EQ(status, 0) << report;
  EXPECT_NE(report.find("Label names from " + tree +
                        "/usr/share/scribeline/label_list.txt\n"),
            std::string::npos)
      << report;
  std::ifstream labelMap(folder + "/out/labelmap.txt");
  std::string header, first;
  std::getline(labelMap, header);
  std::getline(labelMap, first);
  EXPECT_EQ(first, "background:0,0,0::");

  const std::string desktop = runCommand(
      "cat '" + tree + "/usr/share/applications/scribeline.desktop'", &status);
  EXPECT_NE(desktop.find("\nIcon=scribeline\n"), std::string::npos);
  EXPECT_NE(desktop.find("\nExec=scribeline %f\n"), std::string::npos);
}

}  // namespace
