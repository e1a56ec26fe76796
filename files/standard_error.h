#pragma once

#include <functional>
#include <mutex>
#include <string>

namespace scribeline {

// The image libraries write their complaints to standard error themselves,
// and the program wants some of them back (a refusal line names the reason
// an image cannot be decoded). Through OpenCV 4.6 they cannot be had any
// other way than by taking the descriptor:
//   - libpng's and libjpeg's messages ("libpng error: Read Error", "Corrupt
//     JPEG data: ...") come from the libraries' default handlers, which
//     OpenCV's decoders leave in place; they fprintf to stderr.
//   - OpenCV's imread catches a decoder's exception and writes its text to
//     std::cerr ("imread_('PATH'): can't read data: ..."); cv::redirectError
//     sees the error before that, but not the line that is printed.
//   - cv::utils::logging in 4.6 sets levels only: there is no sink to
//     replace (that came in later versions).
//   - cv::imdecode on a buffer prints the same messages, with another name
//     in them.
// So standard error (descriptor 2) is sent to a temporary file for the
// length of one call, under one lock: two captures never interleave (which
// would leave descriptor 2 pointing at a file for good), and calls into the
// image libraries on other threads that may write there take the same lock
// (holdStandardError), so their words are neither swallowed into a capture
// nor lost. A write to standard error by anything else during a capture
// (another library on another thread) is held back with the capture.

// The lock under which standard error is captured. Hold it around a call
// into the image libraries that may write to standard error while another
// thread decodes. REQUIRES: not held by the calling thread already.
std::unique_lock<std::mutex> holdStandardError();

// Runs `call` with the lock held and standard error sent to a temporary
// file, and returns what was written there meanwhile. The descriptor is
// taken only around `call` itself. Without a temporary file `call` runs with
// standard error as it is, and nothing is returned.
// REQUIRES: the lock is not held by the calling thread.
std::string captureStandardError(const std::function<void()>& call);

}  // namespace scribeline
