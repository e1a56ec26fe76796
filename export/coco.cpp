#include "export/coco.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "export/coco_json.h"
#include "palette/palette.h"

namespace scribeline {
namespace {

std::string countsText(const RleCounts& counts, CocoRleForm form) {
  if (form == CocoRleForm::kCompressed) return jsonQuoted(rleToString(counts));
  std::string text = "[";
  for (size_t i = 0; i < counts.size(); ++i)
    text += (i ? "," : "") + std::to_string(counts[i]);
  return text + "]";
}

constexpr std::int64_t kMaxSide = std::int64_t{1} << 30;
constexpr double kMaxCoordinate = 1 << 20;
// Whole numbers a double holds exactly.
constexpr std::int64_t kMaxId = (std::int64_t{1} << 53);

Result<RleCounts> readCounts(const JsonValue* counts) {
  if (counts && counts->kind == JsonValue::Kind::kString)
    return rleFromString(counts->text);
  if (!counts || counts->kind != JsonValue::Kind::kArray)
    return Status::failure(
        "its RLE counts are neither a string nor a list of numbers");
  RleCounts plain;
  for (const JsonValue& item : counts->items) {
    const auto count = jsonInteger(&item, "an RLE count", 0, UINT32_MAX);
    if (!count.ok()) return count.status();
    plain.push_back(static_cast<std::uint32_t>(count.value()));
  }
  return plain;
}

Status readSegmentation(const JsonValue* segmentation,
                        CocoAnnotation* annotation) {
  if (!segmentation) return Status::failure("it has no segmentation");
  if (segmentation->kind == JsonValue::Kind::kObject) {
    const JsonValue* size = segmentation->member("size");
    if (!size || size->kind != JsonValue::Kind::kArray ||
        size->items.size() != 2)
      return Status::failure("its RLE size is not [height, width]");
    const auto height =
        jsonInteger(&size->items[0], "its RLE height", 0, kMaxSide);
    const auto width =
        jsonInteger(&size->items[1], "its RLE width", 0, kMaxSide);
    if (!height.ok()) return height.status();
    if (!width.ok()) return width.status();
    const Result<RleCounts> counts = readCounts(segmentation->member("counts"));
    if (!counts.ok()) return counts.status();
    annotation->isRle = true;
    annotation->counts = counts.value();
    annotation->rleHeight = static_cast<int>(height.value());
    annotation->rleWidth = static_cast<int>(width.value());
    return {};
  }
  if (segmentation->kind != JsonValue::Kind::kArray)
    return Status::failure("its segmentation is neither RLE nor polygons");
  for (const JsonValue& polygon : segmentation->items) {
    if (polygon.kind != JsonValue::Kind::kArray || polygon.items.size() < 6 ||
        polygon.items.size() % 2 != 0)
      return Status::failure(
          "a polygon is not a list of at least three x, y pairs");
    std::vector<double> points;
    for (const JsonValue& coordinate : polygon.items) {
      if (coordinate.kind != JsonValue::Kind::kNumber ||
          std::fabs(coordinate.number) > kMaxCoordinate)
        return Status::failure(
            "a polygon coordinate is no number within +-1048576");
      points.push_back(coordinate.number);
    }
    annotation->polygons.push_back(std::move(points));
  }
  return {};
}

// Sets the pixels whose centres (x + 0.5, y + 0.5) lie inside the polygon
// (x0, y0, x1, y1, ...) by the even-odd rule; a centre on a left or top
// edge is inside, one on a right or bottom edge outside, so that polygons
// sharing an edge share no pixel and a polygon along pixel borders covers
// exactly the pixels within.
void fillPolygon(const std::vector<double>& points, unsigned char value,
                 cv::Mat* target) {
  const size_t corners = points.size() / 2;
  double top = points[1], bottom = points[1];
  for (size_t i = 1; i < corners; ++i) {
    top = std::min(top, points[2 * i + 1]);
    bottom = std::max(bottom, points[2 * i + 1]);
  }
  const int firstRow = std::max(0, static_cast<int>(std::ceil(top - 0.5)));
  const int endRow =
      std::min(target->rows, static_cast<int>(std::ceil(bottom - 0.5)));
  std::vector<double> crossings;
  for (int row = firstRow; row < endRow; ++row) {
    const double y = row + 0.5;
    crossings.clear();
    for (size_t i = 0; i < corners; ++i) {
      const size_t j = (i + 1) % corners;
      const double x0 = points[2 * i], y0 = points[2 * i + 1];
      const double x1 = points[2 * j], y1 = points[2 * j + 1];
      if ((y0 <= y) == (y1 <= y)) continue;  // half-open: no double counts
      crossings.push_back(x0 + (y - y0) * (x1 - x0) / (y1 - y0));
    }
    std::sort(crossings.begin(), crossings.end());
    unsigned char* line = target->ptr<unsigned char>(row);
    for (size_t k = 0; k + 1 < crossings.size(); k += 2) {
      const double left = std::max(crossings[k] - 0.5, -1.0);
      const double right =
          std::min(crossings[k + 1] - 0.5, static_cast<double>(target->cols));
      for (int x = static_cast<int>(std::ceil(left)); x < right; ++x)
        if (x >= 0) line[x] = value;
    }
  }
}

Status withContext(const Status& status, const std::string& context) {
  return Status::failure(context + ": " + status.reason());
}

}  // namespace

void CocoWriter::addImage(const std::string& fileName, const cv::Mat& indices) {
  CV_Assert(indices.type() == CV_8UC1);
  const std::int64_t imageId = ++images_;
  if (!imageEntries_.empty()) imageEntries_ += ",\n";
  imageEntries_ += "    {\"id\": " + std::to_string(imageId) +
                   ", \"file_name\": " + jsonQuoted(fileName) +
                   ", \"width\": " + std::to_string(indices.cols) +
                   ", \"height\": " + std::to_string(indices.rows) + "}";
  // The bounding box and pixel count of every index in one pass.
  struct Extent {
    std::uint64_t area = 0;
    int left = INT32_MAX, top = INT32_MAX, right = -1, bottom = -1;
  };
  std::array<Extent, numLabels> extents;
  for (int row = 0; row < indices.rows; ++row) {
    const unsigned char* line = indices.ptr<unsigned char>(row);
    for (int column = 0; column < indices.cols; ++column) {
      if (line[column] >= numLabels) continue;
      Extent& extent = extents[line[column]];
      ++extent.area;
      extent.left = std::min(extent.left, column);
      extent.right = std::max(extent.right, column);
      extent.top = std::min(extent.top, row);
      extent.bottom = std::max(extent.bottom, row);
    }
  }
  for (int label = 0; label < numLabels; ++label) {
    const Extent& extent = extents[label];
    if (extent.area == 0) continue;
    const RleCounts counts =
        encodeRle(indices, static_cast<unsigned char>(label));
    if (!annotationEntries_.empty()) annotationEntries_ += ",\n";
    annotationEntries_ +=
        "    {\"id\": " + std::to_string(++annotations_) +
        ", \"image_id\": " + std::to_string(imageId) +
        ", \"category_id\": " + std::to_string(label + 1) +
        ", \"segmentation\": {\"size\": [" + std::to_string(indices.rows) +
        ", " + std::to_string(indices.cols) +
        "], \"counts\": " + countsText(counts, form_) +
        "}, \"area\": " + std::to_string(extent.area) + ", \"bbox\": [" +
        std::to_string(extent.left) + ", " + std::to_string(extent.top) + ", " +
        std::to_string(extent.right - extent.left + 1) + ", " +
        std::to_string(extent.bottom - extent.top + 1) + "], \"iscrowd\": 0}";
  }
}

std::string CocoWriter::text(
    const std::vector<std::string>& categoryNames) const {
  std::string categories;
  for (size_t i = 0; i < categoryNames.size(); ++i) {
    if (i) categories += ",\n";
    categories += "    {\"id\": " + std::to_string(i + 1) +
                  ", \"name\": " + jsonQuoted(categoryNames[i]) +
                  ", \"supercategory\": \"\"}";
  }
  auto section = [](const std::string& entries) {
    return entries.empty() ? std::string("[]") : "[\n" + entries + "\n  ]";
  };
  return "{\n  \"info\": {\"description\": \"Scribeline export\"},\n"
         "  \"licenses\": [],\n  \"images\": " +
         section(imageEntries_) +
         ",\n  \"annotations\": " + section(annotationEntries_) +
         ",\n  \"categories\": " + section(categories) + "\n}\n";
}

Result<CocoDocument> parseCocoDocument(const std::string& text) {
  const Result<JsonValue> parsed = parseJson(text);
  if (!parsed.ok()) return parsed.status();
  const JsonValue& root = parsed.value();
  if (root.kind != JsonValue::Kind::kObject)
    return Status::failure("the COCO file is no JSON object");
  const JsonValue* images = root.member("images");
  if (!images || images->kind != JsonValue::Kind::kArray)
    return Status::failure("the COCO file has no list \"images\"");
  const JsonValue* annotations = root.member("annotations");
  if (annotations && annotations->kind != JsonValue::Kind::kArray)
    return Status::failure("the COCO file's \"annotations\" is no list");

  CocoDocument document;
  for (size_t i = 0; i < images->items.size(); ++i) {
    const JsonValue& entry = images->items[i];
    const std::string context = "image entry " + std::to_string(i + 1);
    CocoImage image;
    const auto id = jsonInteger(entry.member("id"), "its id", -kMaxId, kMaxId);
    const auto width =
        jsonInteger(entry.member("width"), "its width", 0, kMaxSide);
    const auto height =
        jsonInteger(entry.member("height"), "its height", 0, kMaxSide);
    for (const auto* field : {&id, &width, &height})
      if (!field->ok()) return withContext(field->status(), context);
    const JsonValue* name = entry.member("file_name");
    if (!name || name->kind != JsonValue::Kind::kString)
      return Status::failure(context + ": its file_name is no string");
    image.id = id.value();
    image.width = static_cast<int>(width.value());
    image.height = static_cast<int>(height.value());
    image.fileName = name->text;
    document.images.push_back(std::move(image));
  }
  if (!annotations) return document;
  for (size_t i = 0; i < annotations->items.size(); ++i) {
    const JsonValue& entry = annotations->items[i];
    const std::string context = "annotation entry " + std::to_string(i + 1);
    CocoAnnotation annotation;
    const auto imageId =
        jsonInteger(entry.member("image_id"), "its image_id", -kMaxId, kMaxId);
    const auto categoryId = jsonInteger(entry.member("category_id"),
                                        "its category_id", -kMaxId, kMaxId);
    for (const auto* field : {&imageId, &categoryId})
      if (!field->ok()) return withContext(field->status(), context);
    annotation.imageId = imageId.value();
    annotation.categoryId = categoryId.value();
    const Status segmentation =
        readSegmentation(entry.member("segmentation"), &annotation);
    if (!segmentation.ok()) return withContext(segmentation, context);
    document.annotations.push_back(std::move(annotation));
  }
  return document;
}

Result<cv::Mat> cocoIndices(const CocoDocument& document,
                            const CocoImage& image) {
  cv::Mat indices(image.height, image.width, CV_8UC1, cv::Scalar(255));
  for (const CocoAnnotation& annotation : document.annotations) {
    if (annotation.imageId != image.id) continue;
    const std::int64_t index = annotation.categoryId - 1;
    if (index < 0 || index >= numLabels)
      return Status::failure("category " +
                             std::to_string(annotation.categoryId) +
                             " gives index " + std::to_string(index) +
                             ", and only 0 to 24 are labels");
    const auto value = static_cast<unsigned char>(index);
    if (annotation.isRle) {
      if (annotation.rleWidth != image.width ||
          annotation.rleHeight != image.height)
        return Status::failure(
            "an RLE of category " + std::to_string(annotation.categoryId) +
            " is " + std::to_string(annotation.rleWidth) + " x " +
            std::to_string(annotation.rleHeight) + ", the image " +
            std::to_string(image.width) + " x " + std::to_string(image.height));
      const Status size =
          checkRleSize(annotation.counts, image.width, image.height);
      if (!size.ok()) return size;
      paintRle(annotation.counts, value, &indices);
      continue;
    }
    for (const std::vector<double>& polygon : annotation.polygons)
      fillPolygon(polygon, value, &indices);
  }
  return indices;
}

}  // namespace scribeline
