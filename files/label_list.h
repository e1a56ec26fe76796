#pragma once

#include <istream>
#include <string>
#include <vector>

#include "files/status.h"

namespace scribeline {

// Reads a label list: an integer count, the rest of its line discarded, then
// one name per line for at most min(count, 25) labels, a negative count
// reading as more than 25. A trailing carriage return is dropped and a name
// is cut to 254 characters; a long line spoils nothing after it. Names
// missing at the end of the file are empty. Returns min(count, 25) names in
// label order, none when there is no readable count.
std::vector<std::string> readLabelNames(std::istream& in);
// The same for a file. A file that cannot be read (missing, not a regular
// file, a read error) gives no names but "PATH: REASON", the path made
// absolute.
Result<std::vector<std::string>> readLabelNames(const std::string& path);

}  // namespace scribeline
