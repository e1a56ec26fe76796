#include "files/label_list.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "files/regular_file.h"
#include "palette/palette.h"

namespace scribeline {
namespace {

// A longer name is cut: it could not be shown in full on its row anyway.
constexpr std::size_t kMaxNameLength = 254;
// 25 names of that length and a count line fit many times over; a larger
// file is read only this far.
constexpr std::size_t kMaxListBytes = 1 << 20;

void dropCarriageReturn(std::string& line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
}

}  // namespace

std::vector<std::string> readLabelNames(std::istream& in) {
  std::vector<std::string> names;
  int count = 0;
  if (!(in >> count)) return names;
  std::string line;
  std::getline(in, line);  // rest of the count line
  const unsigned wanted =
      std::min(static_cast<unsigned>(count), static_cast<unsigned>(numLabels));
  for (unsigned label = 0; label < wanted; ++label) {
    // Lines missing at the end of the file give empty names.
    line.clear();
    std::getline(in, line);
    dropCarriageReturn(line);
    if (line.size() > kMaxNameLength) line.resize(kMaxNameLength);
    names.push_back(line);
  }
  return names;
}

Result<std::vector<std::string>> readLabelNames(const std::string& path) {
  Result<int> fd = openRegularFile(path);
  Result<std::string> content =
      fd.ok() ? readUpTo(fd.value(), kMaxListBytes) : fd.status();
  if (fd.ok()) ::close(fd.value());
  if (!content.ok()) {
    // Named in full: a relative path depends on the working folder.
    std::error_code ignored;
    return Status::failure(std::filesystem::absolute(path, ignored).string() +
                           ": " + content.reason());
  }
  std::istringstream in(content.value());
  return readLabelNames(in);
}

}  // namespace scribeline
