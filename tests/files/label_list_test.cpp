#include "files/label_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <sstream>

#include "tests/support/temp_folder.h"

namespace scribeline {
namespace {

std::string lines(int count, const std::string& prefix) {
  std::string text;
  for (int i = 0; i < count; ++i) text += prefix + std::to_string(i) + "\n";
  return text;
}

std::vector<std::string> numbered(int count, const std::string& prefix) {
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(prefix + std::to_string(i));
  return names;
}

struct ListRow {
  std::string description;
  std::string content;
  std::vector<std::string> names;
};

std::ostream& operator<<(std::ostream& out, const ListRow& row) {
  return out << row.description;
}

class LabelListTest : public testing::TestWithParam<ListRow> {};

TEST_P(LabelListTest, ReadsTheNames) {
  std::istringstream in(GetParam().content);
  EXPECT_EQ(readLabelNames(in), GetParam().names);
}

const std::string k254(254, 'a');
const std::string k300(300, 'a');
const std::string k5000(5000, 'a');

INSTANTIATE_TEST_SUITE_P(
    Files, LabelListTest,
    testing::Values(
        ListRow{"count below the names", "3\na\nb\nc\nd\ne\n", {"a", "b", "c"}},
        ListRow{"count equal", "3\na\nb\nc\n", {"a", "b", "c"}},
        ListRow{
            "count above the names", "5\na\nb\nc\n", {"a", "b", "c", "", ""}},
        ListRow{"count above 25", "30\n" + lines(27, "n"), numbered(25, "n")},
        ListRow{"negative count", "-1\n" + lines(27, "n"), numbered(25, "n")},
        ListRow{"zero count", "0\na\n", {}},
        ListRow{"words after the count", "2 labels below\nx\ny\n", {"x", "y"}},
        ListRow{"blank lines before the count, no final line feed",
                "  \n\n 2\nsky\nroad",
                {"sky", "road"}},
        ListRow{
            "name of 254 characters", "3\n" + k254 + "\nb\n", {k254, "b", ""}},
        ListRow{"over-long name", "3\n" + k300 + "\nb\nc\n", {k254, "b", "c"}},
        ListRow{"name of 5000 characters",
                "3\na\n" + k5000 + "\nc\n",
                {"a", k254, "c"}},
        ListRow{"over-long name ending in a carriage return",
                "2\r\n" + k300 + "\r\nb\r\n",
                {k254, "b"}},
        ListRow{"over-long count line", "2 " + k300 + "\nx\ny\n", {"x", "y"}},
        ListRow{"no count", "sky\nroad\n", {}}, ListRow{"empty file", "", {}},
        ListRow{"carriage returns", "2\r\nsky\r\nroad\r\n", {"sky", "road"}}));

// A list that cannot be read gives no names and names itself with the
// reason; a FIFO is refused at once instead of waiting for a writer.
struct UnreadableListRow {
  std::string name;
  std::string (*make)(const std::string& folder);  // returns the list's path
  std::string reason;
};

class UnreadableLabelListTest
    : public testing::TestWithParam<UnreadableListRow> {};

TEST_P(UnreadableLabelListTest, GivesNoNamesAndSaysWhy) {
  const TempFolder temp("scribeline-list");
  const std::string& folder = temp.path();
  const std::string path = GetParam().make(folder);
  const Result<std::vector<std::string>> names = readLabelNames(path);
  EXPECT_FALSE(names.ok());
  EXPECT_EQ(names.reason(), path + ": " + GetParam().reason);
}

INSTANTIATE_TEST_SUITE_P(
    Lists, UnreadableLabelListTest,
    testing::Values(
        UnreadableListRow{"missing",
                          [](const std::string& folder) {
                            return folder + "/label_list.txt";
                          },
                          "No such file or directory"},
        UnreadableListRow{"folder",
                          [](const std::string& folder) {
                            mkdir((folder + "/label_list.txt").c_str(), 0755);
                            return folder + "/label_list.txt";
                          },
                          "a folder, not a regular file"},
        UnreadableListRow{"fifo",
                          [](const std::string& folder) {
                            mkfifo((folder + "/label_list.txt").c_str(), 0644);
                            return folder + "/label_list.txt";
                          },
                          "a FIFO, not a regular file"}),
    [](const testing::TestParamInfo<UnreadableListRow>& info) {
      return info.param.name;
    });

TEST(LabelListFileTest, RelativePathIsNamedInFull) {
  EXPECT_EQ(readLabelNames("no_such_list.txt").reason(),
            std::filesystem::current_path().string() +
                "/no_such_list.txt: No such file or directory");
}

}  // namespace
}  // namespace scribeline
