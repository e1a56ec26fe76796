#include "export/export.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <opencv2/imgcodecs.hpp>
#include <set>
#include <sstream>

#include "export/palette_png.h"
#include "files/atomic_write.h"
#include "files/image_read.h"
#include "files/label_list.h"
#include "files/label_lookup.h"
#include "files/mask_file.h"
#include "files/photo_list.h"
#include "palette/palette.h"

namespace scribeline {
namespace {

// Every label colour uses only the two highest bits of each channel (the
// palette rule puts label bits 0 to 5 at bits 7 and 6), so a colour is a
// label's exactly when its low bits are clear and its six high bits pick a
// label in this table.
struct ColourIndex {
  ColourIndex() {
    entries.fill(kVoidIndex);
    for (int label = 0; label < numLabels; ++label) {
      const cv::Scalar colour = labelColor(label);
      entries[key(static_cast<unsigned>(colour[0]),
                  static_cast<unsigned>(colour[1]),
                  static_cast<unsigned>(colour[2]))] =
          static_cast<unsigned char>(label);
    }
  }
  static unsigned key(unsigned blue, unsigned green, unsigned red) {
    return (blue >> 6) << 4 | (green >> 6) << 2 | (red >> 6);
  }
  unsigned char indexOf(const cv::Vec3b& pixel) const {
    if ((pixel[0] | pixel[1] | pixel[2]) & 0x3F) return kVoidIndex;
    return entries[key(pixel[0], pixel[1], pixel[2])];
  }
  std::array<unsigned char, 64> entries;
};

constexpr char kClassFolder[] = "SegmentationClass";
constexpr char kPhotoFolder[] = "JPEGImages";
constexpr char kListFolder[] = "ImageSets/Segmentation";
constexpr char kListFile[] = "ImageSets/Segmentation/default.txt";
constexpr char kLabelMapFile[] = "labelmap.txt";

struct ExportedPhoto {
  std::string stem;
  IndexCounts counts{};
};

Status makeFolders(const std::string& path) {
  for (size_t end = 1; end <= path.size(); ++end) {
    if (end < path.size() && path[end] != '/') continue;
    const std::string prefix = path.substr(0, end);
    if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
      return Status::failure(prefix + ": " + std::strerror(errno));
  }
  if (!isFolder(path)) return Status::failure(path + ": not a folder");
  return {};
}

bool readWholeFile(const std::string& path, std::string* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in),
                std::istreambuf_iterator<char>());
  return !in.bad();
}

Status writeText(const std::string& path, const std::string& text) {
  return writeFileAtomically(path, text.data(), text.size());
}

// Puts the photo at `target` as a hard link, or as a copy where the file
// system cannot link; either way through a temporary name and a rename.
Status placePhoto(const std::string& photo, const std::string& target) {
  const Result<std::string> temporary = freeTemporaryName(folderOf(target));
  if (!temporary.ok()) return temporary.status();
  // AT_SYMLINK_FOLLOW: a photo given as a symbolic link is linked as the file
  // it names; a link to the link itself would break when relative.
  if (::linkat(AT_FDCWD, photo.c_str(), AT_FDCWD, temporary.value().c_str(),
               AT_SYMLINK_FOLLOW) == 0) {
    const bool renamed =
        ::rename(temporary.value().c_str(), target.c_str()) == 0;
    const int savedErrno = errno;
    // When target already is a link to the photo, rename leaves both names.
    ::unlink(temporary.value().c_str());
    if (renamed) return {};
    return Status::failure(std::strerror(savedErrno));
  }
  std::string bytes;
  if (!readWholeFile(photo, &bytes))
    return Status::failure("cannot read the photo");
  return writeFileAtomically(target, bytes.data(), bytes.size());
}

// The photos the paths name, in order: a folder gives its photos, anything
// else is taken as a photo.
std::vector<std::string> listPhotos(const std::vector<std::string>& paths,
                                    std::ostream& out) {
  std::vector<std::string> photos;
  for (const std::string& path : paths) {
    if (!isFolder(path)) {
      photos.push_back(path);
      continue;
    }
    const std::vector<std::string> inFolder = photosInFolder(path);
    if (inFolder.empty()) out << "No photos in " << path << "\n";
    photos.insert(photos.end(), inFolder.begin(), inFolder.end());
  }
  return photos;
}

// The photos without repeats: a file named twice, through the same path,
// another path or a link, is one photo, under the name it was first given.
std::vector<std::string> distinctFiles(const std::vector<std::string>& photos) {
  std::set<std::pair<dev_t, ino_t>> seen;
  std::vector<std::string> distinct;
  for (const std::string& photo : photos) {
    struct stat file;
    // One that cannot be looked at is kept, to be skipped with its reason.
    if (::stat(photo.c_str(), &file) == 0 &&
        !seen.insert({file.st_dev, file.st_ino}).second) {
      continue;
    }
    distinct.push_back(photo);
  }
  return distinct;
}

// The path with its control characters written as C escapes, so that a
// refusal naming it stays one line.
std::string printable(const std::string& path) {
  std::string text;
  for (const unsigned char c : path) {
    if (c == '\n') {
      text += "\\n";
    } else if (c == '\r') {
      text += "\\r";
    } else if (c == '\t') {
      text += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      text += escaped;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

// Why the photo's name cannot go into the data set's lists (one name per
// line, read back without its outer blanks), or nothing.
std::string nameFault(const std::string& photo) {
  const std::string name = fileNameOf(photo);
  if (name.find_first_of("\n\r") != std::string::npos)
    return "its name holds a line break";
  if (name.find('\t') != std::string::npos) return "its name holds a tab";
  for (const unsigned char c : name)
    if (c < 0x20 || c == 0x7F) return "its name holds a control character";
  for (const std::string& part : {name, stemOf(photo)})
    if (!part.empty() && (part.front() == ' ' || part.back() == ' '))
      return "its name starts or ends with a blank";
  return "";
}

bool refuseNames(const std::vector<std::string>& photos, std::ostream& errors) {
  bool refused = false;
  for (const std::string& photo : photos) {
    const std::string fault = nameFault(photo);
    if (fault.empty()) continue;
    errors << "Cannot export \"" << printable(photo) << "\": " << fault
           << ", which the list of names (" << kListFile << ") cannot hold.\n";
    refused = true;
  }
  if (refused) errors << "Nothing exported.\n";
  return refused;
}

bool refuseDuplicateStems(const std::vector<std::string>& photos,
                          std::ostream& errors) {
  std::map<std::string, std::string> firstWithStem;
  bool duplicate = false;
  for (const std::string& photo : photos) {
    const auto [entry, isNew] = firstWithStem.emplace(stemOf(photo), photo);
    if (isNew) continue;
    errors << "Two photos have the name \"" << entry->first
           << "\": " << entry->second << " and " << photo << "\n";
    duplicate = true;
  }
  if (duplicate)
    errors << "Nothing exported: every photo needs a name of "
              "its own (the file name without its extension).\n";
  return duplicate;
}

// The mask of the photo, or why there is none: "no readable mask PATH" for
// a missing file, followed by the reason for one that cannot be read.
Result<cv::Mat> readMaskOf(const std::string& photo) {
  const std::string maskPath = maskPathFor(photo);
  const std::string missing = "no readable mask " + maskPath;
  struct stat file;
  if (::stat(maskPath.c_str(), &file) != 0) return Status::failure(missing);
  ImageLimits limits = ImageLimits::ofThisProcess();
  limits.availableBytes.reset();
  const auto checked = checkImageFile(maskPath, limits);
  if (!checked.ok()) return Status::failure(missing + ": " + checked.reason());
  cv::Mat mask = decodeImage(maskPath, cv::IMREAD_COLOR).image;
  if (mask.empty())
    return Status::failure(missing + ": not an image the reader can decode");
  return mask;
}

std::string sizeText(const cv::Mat& image) {
  return std::to_string(image.cols) + " x " + std::to_string(image.rows);
}

// Exports one photo, or says why it is skipped.
Result<ExportedPhoto> exportPhoto(const std::string& photo,
                                  const std::string& outFolder) {
  // The reader's limits only: the export builds none of the tools whose
  // memory start-up checks for.
  ImageLimits limits = ImageLimits::ofThisProcess();
  limits.availableBytes.reset();
  const Result<cv::Mat> read = readPhoto(photo, limits);
  if (!read.ok())
    return Status::failure("the photo cannot be read: " + read.reason());
  const cv::Mat& image = read.value();
  const Result<cv::Mat> maskRead = readMaskOf(photo);
  if (!maskRead.ok()) return maskRead.status();
  const cv::Mat& mask = maskRead.value();
  if (mask.size() != image.size())
    return Status::failure("the mask is " + sizeText(mask) + ", the photo " +
                           sizeText(image));
  ExportedPhoto exported;
  exported.stem = stemOf(photo);
  const cv::Mat indices = labelIndices(mask, &exported.counts);
  const Result<std::vector<unsigned char>> png = encodeIndexPng(indices);
  const Status written =
      png.ok() ? writeFileAtomically(outFolder + "/" + kClassFolder + "/" +
                                         exported.stem + ".png",
                                     png.value().data(), png.value().size())
               : png.status();
  if (!written.ok())
    return Status::failure("cannot write its label PNG: " + written.reason());
  const Status placed = placePhoto(
      photo, outFolder + "/" + kPhotoFolder + "/" + fileNameOf(photo));
  if (!placed.ok())
    return Status::failure("cannot place the photo: " + placed.reason());
  return exported;
}

// The stems already listed in OUT, then the new ones, each once.
std::string stemListText(const std::string& listPath,
                         const std::vector<ExportedPhoto>& exported) {
  std::vector<std::string> stems;
  std::set<std::string> seen;
  std::ifstream in(listPath);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && seen.insert(line).second) stems.push_back(line);
  for (const ExportedPhoto& photo : exported)
    if (seen.insert(photo.stem).second) stems.push_back(photo.stem);
  std::string text;
  for (const std::string& stem : stems) text += stem + "\n";
  return text;
}

// One row per photo and a total: a column per index that occurs anywhere,
// void last.
void printCountTable(const std::vector<ExportedPhoto>& exported,
                     std::ostream& out) {
  ExportedPhoto total{"total", {}};
  for (const ExportedPhoto& photo : exported)
    for (size_t i = 0; i < total.counts.size(); ++i)
      total.counts[i] += photo.counts[i];
  std::vector<int> columns;
  for (int label = 0; label < numLabels; ++label)
    if (total.counts[label] > 0) columns.push_back(label);
  columns.push_back(kVoidIndex);

  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> header = {"photo"};
  for (int column : columns)
    header.push_back(column == kVoidIndex ? "void" : std::to_string(column));
  rows.push_back(header);
  std::vector<const ExportedPhoto*> lines;
  for (const ExportedPhoto& photo : exported) lines.push_back(&photo);
  lines.push_back(&total);
  for (const ExportedPhoto* photo : lines) {
    std::vector<std::string> row = {photo->stem};
    for (int column : columns)
      row.push_back(std::to_string(photo->counts[column]));
    rows.push_back(row);
  }
  std::vector<size_t> widths(header.size(), 0);
  for (const auto& row : rows)
    for (size_t i = 0; i < row.size(); ++i)
      widths[i] = std::max(widths[i], row[i].size());
  out << "Pixels per label:\n";
  for (const auto& row : rows) {
    std::string line = row[0] + std::string(widths[0] - row[0].size(), ' ');
    for (size_t i = 1; i < row.size(); ++i)
      line += "  " + std::string(widths[i] - row[i].size(), ' ') + row[i];
    out << line << "\n";
  }
}

}  // namespace

cv::Mat labelIndices(const cv::Mat& mask, IndexCounts* counts) {
  CV_Assert(mask.type() == CV_8UC3);
  static const ColourIndex colourIndex;
  cv::Mat indices(mask.size(), CV_8UC1);
  for (int row = 0; row < mask.rows; ++row) {
    const cv::Vec3b* pixels = mask.ptr<cv::Vec3b>(row);
    unsigned char* line = indices.ptr<unsigned char>(row);
    for (int column = 0; column < mask.cols; ++column) {
      line[column] = colourIndex.indexOf(pixels[column]);
      ++(*counts)[line[column]];
    }
  }
  return indices;
}

Result<std::string> labelMapText(const std::vector<std::string>& listNames) {
  std::map<std::string, int> labelOfName;
  std::string map = "# label:color_rgb:parts:actions\n";
  for (int label = 0; label < numLabels; ++label) {
    const bool listed =
        label < static_cast<int>(listNames.size()) && !listNames[label].empty();
    const std::string name = listed ? listNames[label] : std::to_string(label);
    std::string fault;
    if (name.find_first_of(":\r\n") != std::string::npos)
      fault = "holds ':' or a line break";
    else if (name[0] == '#')
      fault = "starts with '#', which marks a comment";
    else if (!labelOfName.emplace(name, label).second)
      fault = "is also the name of label " + std::to_string(labelOfName[name]);
    if (!fault.empty())
      return Status::failure("The name of label " + std::to_string(label) +
                             ", \"" + name + "\", " + fault +
                             ": labelmap.txt cannot hold it.");
    const cv::Scalar colour = labelColor(label);
    map += name + ":" + std::to_string(static_cast<int>(colour[2])) + "," +
           std::to_string(static_cast<int>(colour[1])) + "," +
           std::to_string(static_cast<int>(colour[0])) + "::\n";
  }
  return map;
}

int runExport(const ExportRequest& request, std::ostream& out,
              std::ostream& errors) {
  const std::vector<std::string> photos =
      distinctFiles(listPhotos(request.paths, out));
  if (refuseNames(photos, errors) || refuseDuplicateStems(photos, errors))
    return kExportRefused;

  const std::string firstPlace =
      photos.empty() ? request.paths.front() + "/" : photos.front();
  const LabelListChoice labelList =
      findLabelList(firstPlace, request.dataFolders);
  // A list that cannot be read gives no names: the labels' numbers.
  const Result<std::string> labelMap =
      labelMapText(readLabelNames(labelList.path).valueOr({}));
  if (!labelMap.ok()) {
    errors << labelMap.reason() << " (label list " << labelList.path
           << ")\nNothing exported.\n";
    return kExportRefused;
  }
  if (photos.empty()) {
    out << "Nothing to export: no photos found.\n";
    return kExportIncomplete;
  }
  const std::string& outFolder = request.outFolder;
  for (const std::string folder : {kClassFolder, kPhotoFolder, kListFolder}) {
    const Status made = makeFolders(outFolder + "/" + folder);
    if (!made.ok()) {
      errors << "Cannot create the export folder " << made.reason()
             << "\nNothing exported.\n";
      return kExportRefused;
    }
    // What an earlier export into OUT left when it was cut short.
    removeStaleTemporaries(outFolder + "/" + folder);
  }
  removeStaleTemporaries(outFolder);
  out << labelListNotice(labelList);

  std::vector<ExportedPhoto> exported;
  std::vector<std::string> skipped;
  for (const std::string& photo : photos) {
    const Result<ExportedPhoto> result = exportPhoto(photo, outFolder);
    if (result.ok())
      exported.push_back(result.value());
    else
      skipped.push_back(photo + ": " + result.reason());
  }

  bool listsWritten = true;
  const std::string listPath = outFolder + "/" + kListFile;
  for (const auto& [path, text] :
       {std::pair{listPath, stemListText(listPath, exported)},
        std::pair{outFolder + "/" + kLabelMapFile, labelMap.value()}}) {
    const Status written = writeText(path, text);
    if (!written.ok()) {
      errors << "Cannot write " << path << ": " << written.reason() << "\n";
      listsWritten = false;
    }
  }

  if (!exported.empty()) printCountTable(exported, out);
  if (!skipped.empty()) {
    out << "Skipped " << skipped.size() << " photo"
        << (skipped.size() == 1 ? "" : "s") << ":\n";
    for (const std::string& line : skipped) out << "  " << line << "\n";
  }
  out << "Exported " << exported.size() << " of " << photos.size()
      << " photos to " << outFolder << "\n";
  return skipped.empty() && listsWritten ? kExportComplete : kExportIncomplete;
}

}  // namespace scribeline
