#include "app/start_checks.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"

namespace scribeline {
namespace {

// Where a save cannot succeed, judged without writing: each row makes a
// mask path in a fresh folder and names the reason expected (empty: a save
// can be tried).
struct SaveRow {
  std::string name;
  std::string (*make)(const std::string& folder);
  std::string reason;
  bool needsOrdinaryUser;  // the root user writes into any folder
};

std::ostream& operator<<(std::ostream& out, const SaveRow& row) {
  return out << row.name;
}

class MaskSaveCheckTest : public testing::TestWithParam<SaveRow> {
 protected:
  ~MaskSaveCheckTest() override { ::chmod(folder.c_str(), 0755); }
  TempFolder temp{"scribeline-save-check"};
  std::string folder = temp.path();
};

TEST_P(MaskSaveCheckTest, NamesTheReason) {
  if (GetParam().needsOrdinaryUser && ::geteuid() == 0)
    GTEST_SKIP() << "the root user may write into any folder";
  const Status savable = checkMaskCanBeSaved(GetParam().make(folder));
  EXPECT_EQ(savable.ok(), GetParam().reason.empty());
  EXPECT_EQ(savable.reason(), GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, MaskSaveCheckTest,
    testing::Values(SaveRow{"writable",
                            [](const std::string& folder) {
                              return folder + "/photo.jpg_Mask.png";
                            },
                            "", false},
                    SaveRow{"name_at_the_limit",
                            [](const std::string& folder) {
                              return folder + "/" + std::string(246, 'p') +
                                     "_Mask.png";
                            },
                            "", false},
                    SaveRow{"name_too_long",
                            [](const std::string& folder) {
                              return folder + "/" + std::string(247, 'p') +
                                     "_Mask.png";
                            },
                            "File name too long", false},
                    SaveRow{"path_too_long",
                            [](const std::string& folder) {
                              std::string path = folder;
                              while (path.size() < 4200)
                                path += "/" + std::string(200, 'd');
                              return path + "/photo.jpg_Mask.png";
                            },
                            "File name too long", false},
                    SaveRow{"folder_missing",
                            [](const std::string& folder) {
                              return folder + "/gone/photo.jpg_Mask.png";
                            },
                            "No such file or directory", false},
                    SaveRow{"relative_name_in_the_working_folder",
                            [](const std::string&) {
                              return std::string("photo.jpg_Mask.png");
                            },
                            "", false},
                    SaveRow{"folder_not_writable",
                            [](const std::string& folder) {
                              ::chmod(folder.c_str(), 0555);
                              return folder + "/photo.jpg_Mask.png";
                            },
                            "Permission denied", true}),
    [](const testing::TestParamInfo<SaveRow>& info) {
      return info.param.name;
    });

}  // namespace
}  // namespace scribeline
