#include "export/export.h"

#include <dirent.h>
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
#include "files/regular_file.h"
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
// The largest index PNG read back for the COCO file, in bytes and pixels.
constexpr size_t kMaxIndexPngBytes = size_t{1} << 30;
constexpr std::uint64_t kMaxIndexPixels = std::uint64_t{1} << 30;

// A label's name: the label list's, or its number where the list has none.
std::string nameOfLabel(const std::vector<std::string>& listNames, int label) {
  const bool listed =
      label < static_cast<int>(listNames.size()) && !listNames[label].empty();
  return listed ? listNames[label] : std::to_string(label);
}

std::vector<std::string> labelNames(const std::vector<std::string>& listNames) {
  std::vector<std::string> names;
  for (int label = 0; label < numLabels; ++label)
    names.push_back(nameOfLabel(listNames, label));
  return names;
}

constexpr char kCocoFolder[] = "annotations";
constexpr char kCocoFile[] = "annotations/instances_default.json";

struct ExportedPhoto {
  std::string stem;
  std::string fileName;
  IndexCounts counts{};
};

Status makeExportFolders(const std::string& path) {
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
  exported.fileName = fileNameOf(photo);
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
std::vector<std::string> stemList(const std::string& listPath,
                                  const std::vector<ExportedPhoto>& exported) {
  std::vector<std::string> stems;
  std::set<std::string> seen;
  std::ifstream in(listPath);
  for (std::string line; std::getline(in, line);)
    if (!line.empty() && seen.insert(line).second) stems.push_back(line);
  for (const ExportedPhoto& photo : exported)
    if (seen.insert(photo.stem).second) stems.push_back(photo.stem);
  return stems;
}

std::string linesOf(const std::vector<std::string>& stems) {
  std::string text;
  for (const std::string& stem : stems) text += stem + "\n";
  return text;
}

// The stems of a split: those isValidationName puts into val.txt or, for
// train.txt, those it leaves out.
std::string splitText(const std::vector<std::string>& stems, double fraction,
                      bool validation) {
  std::vector<std::string> chosen;
  for (const std::string& stem : stems)
    if (isValidationName(stem, fraction) == validation) chosen.push_back(stem);
  return linesOf(chosen);
}

// The file names in JPEGImages by their stems: the photos of earlier exports.
std::map<std::string, std::string> placedPhotoNames(
    const std::string& outFolder) {
  std::map<std::string, std::string> names;
  DIR* folder = ::opendir((outFolder + "/" + kPhotoFolder).c_str());
  if (!folder) return names;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;
    names.emplace(stemOf(name), name);
  }
  ::closedir(folder);
  return names;
}

// Reads a file of at most `limit` bytes whole.
Result<std::string> fileBytes(const std::string& path, size_t limit) {
  const Result<int> fd = openRegularFile(path);
  if (!fd.ok()) return fd.status();
  Result<std::string> bytes = readUpTo(fd.value(), limit + 1);
  ::close(fd.value());
  if (bytes.ok() && bytes.value().size() > limit)
    return Status::failure("larger than " + std::to_string(limit) + " bytes");
  return bytes;
}

// The COCO file of every listed stem, from its index PNG in OUT. A stem
// whose PNG or photo is missing or cannot be read is left out with a line
// in *leftOut.
std::string cocoText(const std::string& outFolder,
                     const std::vector<std::string>& stems,
                     const std::vector<ExportedPhoto>& exported,
                     const std::vector<std::string>& categoryNames,
                     CocoRleForm form, std::vector<std::string>* leftOut) {
  std::map<std::string, std::string> fileNames = placedPhotoNames(outFolder);
  // This run's names first: a stem can have a photo of another extension
  // left by an earlier export.
  for (const ExportedPhoto& photo : exported)
    fileNames[photo.stem] = photo.fileName;
  CocoWriter writer(form);
  for (const std::string& stem : stems) {
    const auto name = fileNames.find(stem);
    const std::string png =
        outFolder + "/" + kClassFolder + "/" + stem + ".png";
    const Result<std::string> bytes =
        name == fileNames.end()
            ? Result<std::string>(
                  Status::failure(std::string("no photo in ") + kPhotoFolder))
            : fileBytes(png, kMaxIndexPngBytes);
    const Result<cv::Mat> indices =
        bytes.ok() ? decodeIndexPng(bytes.value(), kMaxIndexPixels)
                   : Result<cv::Mat>(bytes.status());
    if (!indices.ok()) {
      leftOut->push_back(stem + ": " + indices.reason());
      continue;
    }
    writer.addImage(name->second, indices.value());
  }
  return writer.text(categoryNames);
}

// One row per photo and a total: a column per index that occurs anywhere,
// void last.
void printCountTable(const std::vector<ExportedPhoto>& exported,
                     std::ostream& out) {
  ExportedPhoto total{"total", "", {}};
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
    const std::string name = nameOfLabel(listNames, label);
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

bool isValidationName(const std::string& stem, double fraction) {
  if (!(fraction > 0)) return false;
  // The FNV-1a hash, mixed by splitmix64's finaliser so that its every bit
  // depends on every byte; its top 53 bits as a number in [0, 1).
  std::uint64_t z = pathHash(stem) + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return static_cast<double>(z >> 11) * 0x1.0p-53 < fraction;
}

std::vector<std::string> photosNamed(const std::vector<std::string>& paths,
                                     std::ostream& out) {
  return distinctFiles(listPhotos(paths, out));
}

int runExport(const ExportRequest& request, std::ostream& out,
              std::ostream& errors) {
  const std::vector<std::string> photos = photosNamed(request.paths, out);
  if (refuseNames(photos, errors) || refuseDuplicateStems(photos, errors))
    return kExportRefused;

  const std::string firstPlace =
      photos.empty() ? request.paths.front() + "/" : photos.front();
  const LabelListChoice labelList =
      findLabelList(firstPlace, request.dataFolders);
  // A list that cannot be read gives no names: the labels' numbers.
  const std::vector<std::string> listNames =
      readLabelNames(labelList.path).valueOr({});
  const Result<std::string> labelMap = labelMapText(listNames);
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
  for (const std::string folder :
       {kClassFolder, kPhotoFolder, kListFolder, kCocoFolder}) {
    const Status made = makeExportFolders(outFolder + "/" + folder);
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
  const std::vector<std::string> stems = stemList(listPath, exported);
  const double fraction = request.validationFraction;
  std::vector<std::string> leftOut;
  const std::string coco =
      cocoText(outFolder, stems, exported, labelNames(listNames),
               request.rleForm, &leftOut);
  const std::string sets = outFolder + "/" + kListFolder + "/";
  for (const auto& [path, text] :
       {std::pair{listPath, linesOf(stems)},
        std::pair{sets + "train.txt", splitText(stems, fraction, false)},
        std::pair{sets + "val.txt", splitText(stems, fraction, true)},
        std::pair{sets + "trainval.txt", linesOf(stems)},
        std::pair{outFolder + "/" + kCocoFile, coco},
        std::pair{outFolder + "/" + kLabelMapFile, labelMap.value()}}) {
    const Status written = writeText(path, text);
    if (!written.ok()) {
      errors << "Cannot write " << path << ": " << written.reason() << "\n";
      listsWritten = false;
    }
  }
  if (!leftOut.empty()) {
    errors << "Left out of " << kCocoFile << ":\n";
    for (const std::string& line : leftOut) errors << "  " << line << "\n";
    listsWritten = false;
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
