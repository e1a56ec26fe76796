#pragma once

#include <gtest/gtest.h>

#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "tests/e2e/x_session.h"

namespace scribeline::e2e {

// The shipped sample photo's size.
inline const cv::Size kSampleSize(600, 400);

// Starts the program in the session's folder, holding the sample photo and
// the label list, with `arguments` (none: the program opens the sample).
inline void startOnSample(XSession& session,
                          const std::vector<std::string>& arguments = {}) {
  session.copyIn(sourcePath("sample.JPG"));
  session.copyIn(sourcePath("label_list.txt"));
  session.launch(SCRIBELINE_BINARY, arguments);
}

// Waits until the program on the sample is ready for input: every tool
// prepared, the toolbox and the photo window up at the photo's size.
inline void waitUntilReady(XSession& session) {
  ASSERT_TRUE(session.waitForOutput("\n\nCurrent Tool = iScissor\n"))
      << session.output() << session.errorOutput();
  ASSERT_NE(session.waitForWindow("Toolbox"), 0u);
  ASSERT_NE(session.waitForWindow("Scribeline"), 0u);
  ASSERT_TRUE(session.waitForWindowSize("Scribeline", kSampleSize));
}

// An end the program does not choose: a signal, or the display going away.
struct AbruptEnd {
  const char* name;
  int signal;  // 0: the X server is killed
  int status;  // the program's exit status then
};

// Ends the program of the session that way.
inline void endAbruptly(XSession& session, const AbruptEnd& end) {
  if (end.signal != 0) {
    session.signalProgram(end.signal);
  } else {
    session.killServer();
  }
}

}  // namespace scribeline::e2e
