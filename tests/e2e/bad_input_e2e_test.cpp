// The built program against files it cannot use, under its own X server:
// no hang, no abort, one line on standard error, and the photo opens when
// only its mask is bad.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string>

#include "tests/e2e/x_session.h"
#include "tests/support/png_header.h"

namespace scribeline::e2e {
namespace {

struct RefusedPhotoRow {
  std::string name;
  std::string file;
  void (*make)(XSession& session, const std::string& file);
  std::string reason;
};

class RefusedPhotoTest : public ::testing::TestWithParam<RefusedPhotoRow> {};

TEST_P(RefusedPhotoTest, EndsWithStatusZeroAndOneLine) {
  XSession session;
  ASSERT_FALSE(session.display().empty());
  const RefusedPhotoRow& row = GetParam();
  row.make(session, row.file);
  session.launch(SCRIBELINE_BINARY, {row.file});
  EXPECT_EQ(session.waitForExit(30), 0) << session.errorOutput();
  EXPECT_EQ(session.errorOutput(),
            "Scribeline: cannot open " + row.file + ": " + row.reason + "\n");
  EXPECT_EQ(session.output().find("Over-segmenting"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Photos, RefusedPhotoTest,
    ::testing::Values(
        RefusedPhotoRow{"Fifo", "pipe.jpg",
                        [](XSession& session, const std::string& file) {
                          ::mkfifo(session.workPath(file).c_str(), 0644);
                        },
                        "a FIFO, not a regular file"},
        RefusedPhotoRow{
            "HugeHeader", "huge.png",
            [](XSession& session, const std::string& file) {
              session.writeFile(file, pngHeaderOnly(40000, 40000));
            },
            "40000 x 40000 pixels: more than the image reader's limit of "
            "1073741824 pixels"}),
    [](const ::testing::TestParamInfo<RefusedPhotoRow>& info) {
      return info.param.name;
    });

// A mask file whose header claims more than the reader allows is set aside
// with one line, the file stays, and the photo opens with a blank mask.
TEST(RefusedMaskTest, PhotoOpensAndTheFileStays) {
  XSession session;
  ASSERT_FALSE(session.display().empty());
  session.copyIn(sourcePath("sample.JPG"));
  session.copyIn(sourcePath("label_list.txt"));
  const std::string claim = pngHeaderOnly(40000, 40000);
  session.writeFile("sample.JPG_Mask.png", claim);
  session.launch(SCRIBELINE_BINARY, {"sample.JPG"});
  ASSERT_TRUE(session.waitForOutput("\n\nCurrent Tool = iScissor\n"))
      << session.output() << session.errorOutput();
  EXPECT_FALSE(session.hasWindow("Load?"));
  session.key("Scribeline", "Escape");
  ASSERT_TRUE(session.answer("Save?", false));
  EXPECT_EQ(session.waitForExit(), 1);
  // Qt may warn about its environment on standard error before.
  const std::string errors = session.errorOutput();
  const std::string line =
      "Scribeline: not loading the mask file sample.JPG_Mask.png: "
      "40000 x 40000 pixels: more than the image reader's limit of "
      "1073741824 pixels; starting with a blank mask\n";
  ASSERT_GE(errors.size(), line.size());
  EXPECT_EQ(errors.substr(errors.size() - line.size()), line) << errors;
  std::ifstream stored(session.workPath("sample.JPG_Mask.png"),
                       std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stored), {}), claim);
}

}  // namespace
}  // namespace scribeline::e2e
