// The whole program against files it cannot use: every case ends with its
// exit status and one line naming the file and the reason, without a hang,
// and leaves every file that was there as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <sstream>

#include "app/commands.h"
#include "app/program.h"
#include "app/session.h"
#include "tests/app/fixture.h"
#include "tests/support/png_header.h"
#include "tests/support/temp_folder.h"
#include "ui/scripted_window_system.h"

namespace scribeline {
namespace {

namespace fs = std::filesystem;

void writeBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

// Every entry under a folder: its kind, and the bytes of regular files.
std::map<std::string, std::string> snapshot(const std::string& folder) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const fs::file_status status = entry.symlink_status();
    std::string& record = entries[entry.path().string()];
    record = std::to_string(static_cast<int>(status.type())) + ":";
    if (status.type() != fs::file_type::regular) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    record += std::string(std::istreambuf_iterator<char>(in), {});
  }
  return entries;
}

const cv::Size kPhotoSize(60, 40);
constexpr std::uint64_t kEightGigabytes = std::uint64_t{8} << 30;

// What a case says, on which stream.
enum class Says {
  PhotoRefused,    // standard error: "Scribeline: cannot open PATH: REASON"
  MaskSetAside,    // standard error: "Scribeline: not loading the mask ..."
  MaskUnsavable,   // console, before the work: "... cannot be saved to ..."
  MaskUnreadable,  // console: "The mask file PATH was set aside (...)"
};

struct BadInputRow {
  std::string name;
  // Makes the case's files in the folder; returns the path to start with.
  std::string (*make)(const std::string& folder);
  int status;
  Says says;
  std::string reason;  // the line contains it
};

std::ostream& operator<<(std::ostream& out, const BadInputRow& row) {
  return out << row.name;
}

std::string goodPhoto(const std::string& folder) {
  const std::string path = folder + "/photo.png";
  cv::Mat photo(kPhotoSize, CV_8UC3);
  cv::RNG(3).fill(photo, cv::RNG::UNIFORM, 0, 256);
  cv::imwrite(path, photo);
  return path;
}

// A PAM file with the given WIDTH and HEIGHT fields, as written after the
// key, and 24 bytes of pixels.
std::string pamFile(const std::string& width, const std::string& height) {
  return "P7\nWIDTH " + width + "\nHEIGHT " + height +
         "\nDEPTH 3\nMAXVAL 255\nENDHDR\n" + std::string(24, '\0');
}

// The photo `name` in the folder with the given bytes.
std::string photoWith(const std::string& folder, const std::string& name,
                      const std::string& bytes) {
  writeBytes(folder + "/" + name, bytes);
  return folder + "/" + name;
}

const BadInputRow kRows[] = {
    {"missing_photo",
     [](const std::string& folder) { return folder + "/missing.jpg"; }, 0,
     Says::PhotoRefused, "No such file or directory"},
    {"empty_photo",
     [](const std::string& folder) {
       writeBytes(folder + "/empty.jpg", "");
       return folder + "/empty.jpg";
     },
     0, Says::PhotoRefused, "the file is empty"},
    {"text_file",
     [](const std::string& folder) {
       writeBytes(folder + "/notes.jpg", "a list of things to do\n");
       return folder + "/notes.jpg";
     },
     0, Says::PhotoRefused, "not an image the reader can decode"},
    {"cut_short_png",
     [](const std::string& folder) {
       writeBytes(folder + "/cut.png", pngHeaderOnly(30, 20) + "garbage");
       return folder + "/cut.png";
     },
     0, Says::PhotoRefused, "not an image the reader can decode"},
    // A folder opens its photos one after another; this one has none.
    {"folder",
     [](const std::string& folder) {
       fs::create_directory(folder + "/album.png");
       writeBytes(folder + "/album.png/inside.png", "x");
       return folder + "/album.png";
     },
     0, Says::PhotoRefused, "a folder with no photos"},
    {"fifo",
     [](const std::string& folder) {
       ::mkfifo((folder + "/pipe.png").c_str(), 0644);
       return folder + "/pipe.png";
     },
     0, Says::PhotoRefused, "a FIFO, not a regular file"},
    {"device", [](const std::string&) { return std::string("/dev/null"); }, 0,
     Says::PhotoRefused, "a device, not a regular file"},
    {"more_pixels_than_the_reader_allows",
     [](const std::string& folder) {
       writeBytes(folder + "/huge.png", pngHeaderOnly(40000, 40000));
       return folder + "/huge.png";
     },
     0, Says::PhotoRefused,
     "40000 x 40000 pixels: more than the image reader's limit of 1073741824 "
     "pixels"},
    {"wider_than_the_reader_allows",
     [](const std::string& folder) {
       writeBytes(folder + "/wide.png", pngHeaderOnly(2000000, 2));
       return folder + "/wide.png";
     },
     0, Says::PhotoRefused,
     "2000000 x 2 pixels: wider than the image reader's limit of 1048576 "
     "pixels"},
    {"more_memory_than_available",
     [](const std::string& folder) {
       writeBytes(folder + "/large.png", pngHeaderOnly(20000, 20000));
       return folder + "/large.png";
     },
     0, Says::PhotoRefused, " of memory, and 8.0 GB are available"},
    // Size fields that are no size, in each format that writes them as
    // text or signed: refused from the header, never handed to a reader.
    {"pam_blank_width",
     [](const std::string& folder) {
       return photoWith(folder, "blank.pam", pamFile(" ", "2"));
     },
     0, Says::PhotoRefused, "a malformed PAM header: its WIDTH is blank"},
    {"pam_width_not_a_number",
     [](const std::string& folder) {
       return photoWith(folder, "letters.pam", pamFile("two", "2"));
     },
     0, Says::PhotoRefused,
     "a malformed PAM header: its WIDTH is not a number"},
    {"pam_height_beyond_64_bits",
     [](const std::string& folder) {
       return photoWith(folder, "long.pam",
                        pamFile("4", "99999999999999999999999"));
     },
     0, Says::PhotoRefused, "a malformed PAM header: its HEIGHT is too large"},
    {"pam_negative_width",
     [](const std::string& folder) {
       return photoWith(folder, "negative.pam", pamFile("-4", "2"));
     },
     0, Says::PhotoRefused, "a malformed PAM header: its WIDTH is negative"},
    {"ppm_negative_height",
     [](const std::string& folder) {
       return photoWith(folder, "negative.ppm",
                        "P6\n4 -2\n255\n" + std::string(24, '\0'));
     },
     0, Says::PhotoRefused, "a malformed PPM header: its height is negative"},
    {"bmp_negative_width",
     [](const std::string& folder) {
       std::string bmp = "BM" + std::string(12, '\0') +
                         std::string("\x28\0\0\0\xFC\xFF\xFF\xFF", 8) +
                         std::string("\x02\0\0\0", 4) + std::string(40, '\0');
       return photoWith(folder, "negative.bmp", bmp);
     },
     0, Says::PhotoRefused, "a malformed BMP header: its width is negative"},
    {"mask_pam_blank_width",
     [](const std::string& folder) {
       const std::string photo = goodPhoto(folder);
       writeBytes(photo + "_Mask.png", pamFile(" ", "40"));
       return photo;
     },
     1, Says::MaskSetAside, "a malformed PAM header: its WIDTH is blank"},
    {"mask_beyond_the_reader",
     [](const std::string& folder) {
       const std::string photo = goodPhoto(folder);
       writeBytes(photo + "_Mask.png", pngHeaderOnly(40000, 40000));
       return photo;
     },
     1, Says::MaskSetAside,
     "40000 x 40000 pixels: more than the image reader's limit of 1073741824 "
     "pixels"},
    {"mask_fifo",
     [](const std::string& folder) {
       const std::string photo = goodPhoto(folder);
       ::mkfifo((photo + "_Mask.png").c_str(), 0644);
       return photo;
     },
     1, Says::MaskSetAside, "a FIFO, not a regular file"},
    {"mask_folder",
     [](const std::string& folder) {
       const std::string photo = goodPhoto(folder);
       fs::create_directory(photo + "_Mask.png");
       return photo;
     },
     1, Says::MaskSetAside, "a folder, not a regular file"},
    {"mask_cut_short",
     [](const std::string& folder) {
       const std::string photo = goodPhoto(folder);
       writeBytes(photo + "_Mask.png", pngHeaderOnly(60, 40) + "garbage");
       return photo;
     },
     1, Says::MaskUnreadable, ""},
    {"mask_empty",
     [](const std::string& folder) {
       const std::string photo = goodPhoto(folder);
       writeBytes(photo + "_Mask.png", "");
       return photo;
     },
     1, Says::MaskUnreadable, ""},
    {"mask_name_too_long",
     [](const std::string& folder) {
       // 250 characters: the photo's name fits, its mask's does not.
       const std::string photo = folder + "/" + std::string(246, 'p') + ".png";
       fs::copy_file(goodPhoto(folder), photo);
       return photo;
     },
     1, Says::MaskUnsavable, "File name too long"},
};

class BadInputTest : public testing::TestWithParam<BadInputRow> {
 protected:
  BadInputTest() {
    settings.labelListPath = folder + "/label_list.txt";
    writeBytes(settings.labelListPath, "2\nbackground\nperson\n");
    // Fixed, so that the memory case does not depend on the machine.
    settings.imageLimits = ImageLimits{};
    settings.imageLimits->availableBytes = kEightGigabytes;
  }
  TempFolder temp{"scribeline-bad-input"};
  std::string folder = temp.path();
  ProgramSettings settings;
};

TEST_P(BadInputTest, EndsWithItsStatusAndOneLineAndChangesNoFile) {
  const BadInputRow& row = GetParam();
  const std::string path = row.make(folder);
  const std::string maskPath = path + "_Mask.png";
  const auto before = snapshot(folder);
  auto windows = std::make_shared<ScriptedWindowSystem>();
  pushToolsReady(*windows);
  windows->pushKey(27);
  windows->pushAnswer(false);  // "Save?"
  std::ostringstream console;
  const char* argv[] = {"scribeline", path.c_str()};

  testing::internal::CaptureStderr();
  const int status = runProgram(
      2, argv, console, [&](std::string*) { return windows; }, settings);
  const std::string errors = testing::internal::GetCapturedStderr();

  EXPECT_EQ(status, row.status);
  EXPECT_EQ(snapshot(folder), before);
  std::ostringstream banner;
  printBanner(banner);
  const std::string session = "Over-segmenting.... DONE\n\n" + helpText() +
                              "\n\nCurrent Tool = iScissor\n" +
                              "Exiting ...\nBye Bye :)\n";
  std::string line;
  switch (row.says) {
    case Says::PhotoRefused:
      line = "Scribeline: cannot open " + path + ": ";
      EXPECT_EQ(console.str(), banner.str());
      break;
    case Says::MaskSetAside:
      line = "Scribeline: not loading the mask file " + maskPath + ": ";
      EXPECT_EQ(console.str(), banner.str() + session);
      break;
    case Says::MaskUnsavable:
      EXPECT_EQ(console.str(),
                banner.str() + "Scribeline: the mask cannot be saved to " +
                    maskPath + ": " + row.reason + "\n" + session);
      break;
    case Says::MaskUnreadable:
      // Not an error: the file is kept as a backup by the first save.
      EXPECT_EQ(console.str(),
                banner.str() + "Over-segmenting.... DONE\n\nThe mask file " +
                    maskPath +
                    " was set aside (it cannot be read): a save will "
                    "replace it, keeping it as " +
                    maskPath + "~\n" +
                    session.substr(session.find(helpText())));
      break;
  }
  if (line.empty()) {
    EXPECT_EQ(errors, "");
  } else {
    EXPECT_EQ(errors.rfind(line, 0), 0u) << errors;
    EXPECT_NE(errors.find(row.reason), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_EQ(errors.back(), '\n');
  }
  // A refused mask is never offered for loading: only "Save?" is asked.
  if (row.status == 1) {
    ASSERT_EQ(windows->questions().size(), 1u);
    EXPECT_EQ(windows->questions()[0].title, "Save?");
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, BadInputTest, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<BadInputRow>& info) {
                           return info.param.name;
                         });

// A folder passes over a photo whose header is malformed with the same
// one-line refusal, and opens the next.
TEST(MalformedHeaderInAFolderTest, IsPassedOverWithItsReason) {
  TempFolder temp{"scribeline-bad-folder"};
  const std::string folder = temp.path();
  ProgramSettings settings;
  settings.labelListPath = folder + "/label_list.txt";
  writeBytes(settings.labelListPath, "2\nbackground\nperson\n");
  ASSERT_EQ(mkdir((folder + "/album").c_str(), 0755), 0);
  const std::string bad =
      photoWith(folder + "/album", "a.pam", pamFile(" ", "2"));
  goodPhoto(folder + "/album");
  auto windows = std::make_shared<ScriptedWindowSystem>();
  pushToolsReady(*windows);
  windows->pushKey(27);
  windows->pushAnswer(false);  // "Save?"
  std::ostringstream console;
  const std::string album = folder + "/album";
  const char* argv[] = {"scribeline", album.c_str()};

  testing::internal::CaptureStderr();
  const int status = runProgram(
      2, argv, console, [&](std::string*) { return windows; }, settings);
  const std::string errors = testing::internal::GetCapturedStderr();

  EXPECT_EQ(status, 1);
  EXPECT_EQ(errors, "Scribeline: cannot open " + bad +
                        ": a malformed PAM header: its WIDTH is blank\n");
  EXPECT_NE(console.str().find("photo 1 of 2: a.pam cannot be read\n"
                               "photo 2 of 2: photo.png\n"),
            std::string::npos)
      << console.str();
}

}  // namespace
}  // namespace scribeline
