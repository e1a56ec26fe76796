#include "files/label_lookup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "tests/support/temp_folder.h"

namespace scribeline {
namespace {

// A working directory, a photo folder and two data folders under one
// temporary folder; each case puts label lists into some of them.
class LabelLookupTest : public testing::Test {
 protected:
  LabelLookupTest() {
    char previous[4096];
    EXPECT_NE(::getcwd(previous, sizeof previous), nullptr);
    previousDirectory = previous;
  }
  ~LabelLookupTest() override {
    EXPECT_EQ(::chdir(previousDirectory.c_str()), 0);
  }

  TempFolder temp{"scribeline-lookup"};
  std::string root = temp.path();
  std::string previousDirectory;
};

TEST_F(LabelLookupTest, PhotoFolderThenWorkingDirectoryThenDataFolders) {
  enum Place { Photo, Work, DataA, DataB };
  const char* names[] = {"photos", "work", "dataA", "dataB"};
  struct Case {
    std::vector<Place> present;
    int chosen;  // a Place, or -1: none found
  };
  const std::vector<Case> cases = {
      {{Photo, Work, DataA, DataB}, Photo},
      {{Work, DataA, DataB}, Work},
      {{DataA, DataB}, DataA},
      {{DataB}, DataB},
      {{Photo, DataB}, Photo},
      {{}, -1},
  };
  int round = 0;
  for (const Case& c : cases) {
    const std::string base = root + "/" + std::to_string(round++);
    ASSERT_EQ(::mkdir(base.c_str(), 0777), 0);
    for (const char* name : names)
      ASSERT_EQ(::mkdir((base + "/" + name).c_str(), 0777), 0);
    for (Place place : c.present)
      std::ofstream(base + "/" + names[place] + "/label_list.txt") << "0\n";
    ASSERT_EQ(::chdir((base + "/work").c_str()), 0);

    const LabelListChoice choice =
        findLabelList("../photos/p.jpg", {base + "/dataA", base + "/dataB"});
    std::string expected = "label_list.txt";
    if (c.chosen == Photo) expected = "../photos/label_list.txt";
    if (c.chosen == DataA || c.chosen == DataB)
      expected = base + "/" + names[c.chosen] + "/label_list.txt";
    EXPECT_EQ(choice.path, expected) << "case " << round - 1;
    const bool fromWork = c.chosen == Work || c.chosen == -1;
    EXPECT_EQ(choice.fromWorkingDirectory, fromWork) << "case " << round - 1;
    EXPECT_EQ(labelListNotice(choice),
              fromWork ? "" : "Label names from " + expected + "\n");
  }
}

TEST_F(LabelLookupTest, PhotoInTheWorkingDirectoryUsesItsListWithoutNotice) {
  ASSERT_EQ(::chdir(root.c_str()), 0);
  std::ofstream("label_list.txt") << "0\n";
  for (const std::string& photo :
       std::vector<std::string>{"p.jpg", "./p.jpg", root + "/p.jpg"}) {
    const LabelListChoice choice = findLabelList(photo, {});
    EXPECT_EQ(choice.path, "label_list.txt") << photo;
    EXPECT_TRUE(choice.fromWorkingDirectory) << photo;
  }
  // A folder in place of the list is no list.
  ASSERT_EQ(::mkdir("sub", 0777), 0);
  ASSERT_EQ(::mkdir("sub/label_list.txt", 0777), 0);
  EXPECT_EQ(findLabelList("sub/p.jpg", {}).path, "label_list.txt");
}

}  // namespace
}  // namespace scribeline
