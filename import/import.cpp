#include "import/import.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>

#include "export/coco.h"
#include "export/export.h"
#include "export/palette_png.h"
#include "files/image_read.h"
#include "files/mask_file.h"
#include "files/photo_list.h"
#include "files/regular_file.h"
#include "palette/palette.h"

namespace scribeline {
namespace {

constexpr char kClassFolder[] = "SegmentationClass";
// The largest source file read, and the most pixels an index PNG may have
// before its size is compared with the photo's.
constexpr size_t kMaxSourceBytes = size_t{1} << 30;
constexpr std::uint64_t kMaxIndexPixels = std::uint64_t{1} << 30;

std::string sizeText(int width, int height) {
  return std::to_string(width) + " x " + std::to_string(height);
}

// Reads a regular file of at most kMaxSourceBytes whole.
Result<std::string> sourceBytes(const std::string& path) {
  const Result<int> fd = openRegularFile(path);
  if (!fd.ok()) return fd.status();
  Result<std::string> bytes = readUpTo(fd.value(), kMaxSourceBytes + 1);
  ::close(fd.value());
  if (bytes.ok() && bytes.value().size() > kMaxSourceBytes)
    return Status::failure("larger than " + std::to_string(kMaxSourceBytes) +
                           " bytes");
  return bytes;
}

// Where the label indices of a photo come from.
class Source {
 public:
  virtual ~Source() = default;
  // The indices of the photo of this stem; a refusal says why there are
  // none. `size` is the photo's: a COCO image of another size is refused
  // before its pixels are made.
  virtual Result<cv::Mat> indicesOf(const std::string& stem, cv::Size size) = 0;
  // The stems the source has masks for.
  virtual std::vector<std::string> stems() const = 0;
};

class FolderSource : public Source {
 public:
  explicit FolderSource(const std::string& folder)
      : folder_(folder + "/" + kClassFolder) {}

  Result<cv::Mat> indicesOf(const std::string& stem, cv::Size) override {
    const std::string path = folder_ + "/" + stem + ".png";
    struct stat file;
    if (::lstat(path.c_str(), &file) != 0 && errno == ENOENT)
      return Status::failure("no mask for it in the source (" + path + ")");
    const Result<std::string> bytes = sourceBytes(path);
    if (!bytes.ok())
      return Status::failure(path + " cannot be read: " + bytes.reason());
    const Result<cv::Mat> indices =
        decodeIndexPng(bytes.value(), kMaxIndexPixels);
    if (!indices.ok())
      return Status::failure(path + " cannot be used: " + indices.reason());
    return indices;
  }

  std::vector<std::string> stems() const override {
    std::vector<std::string> names;
    DIR* folder = ::opendir(folder_.c_str());
    if (!folder) return names;
    while (const dirent* entry = ::readdir(folder)) {
      const std::string name = entry->d_name;
      const size_t length = name.size();
      if (length > 4 && name[0] != '.' &&
          name.compare(length - 4, 4, ".png") == 0)
        names.push_back(name.substr(0, length - 4));
    }
    ::closedir(folder);
    return names;
  }

 private:
  std::string folder_;
};

class CocoSource : public Source {
 public:
  explicit CocoSource(CocoDocument document) : document_(std::move(document)) {
    for (size_t i = 0; i < document_.images.size(); ++i)
      byStem_[stemOf(document_.images[i].fileName)].push_back(i);
  }

  Result<cv::Mat> indicesOf(const std::string& stem, cv::Size size) override {
    const auto found = byStem_.find(stem);
    if (found == byStem_.end())
      return Status::failure("no image of that name in the COCO file");
    if (found->second.size() > 1)
      return Status::failure("the COCO file has " +
                             std::to_string(found->second.size()) +
                             " images of that name");
    const CocoImage& image = document_.images[found->second.front()];
    if (image.width != size.width || image.height != size.height)
      return Status::failure(
          "its COCO image is " + sizeText(image.width, image.height) +
          ", the photo " + sizeText(size.width, size.height));
    return cocoIndices(document_, image);
  }

  std::vector<std::string> stems() const override {
    std::vector<std::string> names;
    for (const auto& entry : byStem_) names.push_back(entry.first);
    return names;
  }

 private:
  CocoDocument document_;
  std::map<std::string, std::vector<size_t>> byStem_;
};

// The source SOURCE names, or why it cannot be used.
Result<std::unique_ptr<Source>> openSource(const std::string& source) {
  if (isFolder(source)) {
    if (!isFolder(source + "/" + kClassFolder))
      return Status::failure(source + " has no folder " + kClassFolder);
    return std::unique_ptr<Source>(new FolderSource(source));
  }
  const Result<std::string> bytes = sourceBytes(source);
  if (!bytes.ok())
    return Status::failure(source + " cannot be read: " + bytes.reason());
  Result<CocoDocument> document = parseCocoDocument(bytes.value());
  if (!document.ok())
    return Status::failure(
        source + " is no COCO file this can read: " + document.reason());
  return std::unique_ptr<Source>(new CocoSource(document.value()));
}

// Imports the mask of one photo; says what became of a mask already there,
// or why the photo is skipped.
Result<std::string> importPhoto(const std::string& photo, Source* source) {
  ImageLimits limits = ImageLimits::ofThisProcess();
  limits.availableBytes.reset();
  const Result<cv::Mat> read = readPhoto(photo, limits);
  if (!read.ok())
    return Status::failure("the photo cannot be read: " + read.reason());
  const cv::Size size = read.value().size();
  const Result<cv::Mat> indices = source->indicesOf(stemOf(photo), size);
  if (!indices.ok()) return indices.status();
  if (indices.value().size() != size)
    return Status::failure(
        "the mask is " + sizeText(indices.value().cols, indices.value().rows) +
        ", the photo " + sizeText(size.width, size.height));
  const Result<cv::Mat> mask = maskFromIndices(indices.value());
  if (!mask.ok()) return mask.status();
  const std::string maskPath = maskPathFor(photo);
  struct stat existing;
  const bool replacing = ::stat(maskPath.c_str(), &existing) == 0;
  const Status written = writeMaskFile(mask.value(), maskPath, true);
  if (!written.ok())
    return Status::failure("cannot write " + maskPath + ": " +
                           written.reason());
  return replacing ? "the mask it replaces kept as " + maskBackupPath(maskPath)
                   : std::string();
}

}  // namespace

Result<cv::Mat> maskFromIndices(const cv::Mat& indices) {
  CV_Assert(indices.type() == CV_8UC1);
  std::array<cv::Vec3b, 256> colours;
  colours.fill(cv::Vec3b(255, 255, 255));
  for (int label = 0; label < numLabels; ++label) {
    const cv::Scalar colour = labelColor(label);
    colours[label] = cv::Vec3b(static_cast<unsigned char>(colour[0]),
                               static_cast<unsigned char>(colour[1]),
                               static_cast<unsigned char>(colour[2]));
  }
  cv::Mat mask(indices.size(), CV_8UC3);
  for (int row = 0; row < indices.rows; ++row) {
    const unsigned char* line = indices.ptr<unsigned char>(row);
    cv::Vec3b* pixels = mask.ptr<cv::Vec3b>(row);
    for (int column = 0; column < indices.cols; ++column) {
      const unsigned char index = line[column];
      if (index >= numLabels && index != 255)
        return Status::failure("index " + std::to_string(index) + " at (" +
                               std::to_string(column) + ", " +
                               std::to_string(row) +
                               ") is no label (0 to 24) and not void (255)");
      pixels[column] = colours[index];
    }
  }
  return mask;
}

int runImport(const ImportRequest& request, std::ostream& out,
              std::ostream& errors) {
  Result<std::unique_ptr<Source>> opened = openSource(request.source);
  if (!opened.ok()) {
    errors << "Cannot import: " << opened.reason() << "\nNothing imported.\n";
    return kImportRefused;
  }
  Source& source = *opened.value();
  const std::vector<std::string> photos = photosNamed(request.paths, out);
  if (photos.empty()) {
    out << "Nothing to import: no photos found.\n";
    return kImportIncomplete;
  }
  std::vector<std::string> skipped;
  std::set<std::string> photoStems;
  size_t imported = 0;
  for (const std::string& photo : photos) {
    photoStems.insert(stemOf(photo));
    const Result<std::string> result = importPhoto(photo, &source);
    if (!result.ok()) {
      skipped.push_back(photo + ": " + result.reason());
      continue;
    }
    ++imported;
    out << "Imported " << maskPathFor(photo)
        << (result.value().empty() ? "" : " (" + result.value() + ")") << "\n";
  }
  std::vector<std::string> unmatched;
  for (const std::string& stem : source.stems())
    if (!photoStems.count(stem)) unmatched.push_back(stem);
  if (!unmatched.empty()) {
    out << "No photo for " << unmatched.size() << " mask"
        << (unmatched.size() == 1 ? "" : "s") << " of " << request.source
        << ":";
    for (const std::string& stem : unmatched) out << " " << stem;
    out << "\n";
  }
  if (!skipped.empty()) {
    out << "Skipped " << skipped.size() << " photo"
        << (skipped.size() == 1 ? "" : "s") << ":\n";
    for (const std::string& line : skipped) out << "  " << line << "\n";
  }
  out << "Imported " << imported << " of " << photos.size() << " photos from "
      << request.source << "\n";
  return skipped.empty() ? kImportComplete : kImportIncomplete;
}

}  // namespace scribeline
