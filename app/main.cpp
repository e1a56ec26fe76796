#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "app/mapped_allocator.h"
#include "app/program.h"
#include "app/session.h"
#include "autosave/abrupt_end.h"
#include "ui/display_loss.h"
#include "ui/highgui_window_system.h"

int main(int argc, char** argv) {
  // Before any picture is made, on any thread.
  scribeline::allocateLargePicturesMapped();
  // Before any thread starts: see watchForAbruptEnds.
  scribeline::watchForAbruptEnds();
  scribeline::watchForDisplayLoss(scribeline::endAfterDisplayLost);
  bool qtStarted = false;
  const int status =
      scribeline::runProgram(argc, argv, std::cout, [&](std::string* error) {
        qtStarted = true;
        // Until the photo is known to open (WindowSystem::beginSession).
        scribeline::holdQtMessages();
        return std::shared_ptr<scribeline::WindowSystem>(
            scribeline::openHighguiWindowSystem(argc, argv, error));
      });
  // A session ended before its tools were ready leaves their preparations
  // running on their own data, and Qt's application, once started, lives on
  // with its event thread: the process ends at once, without the static
  // destructors (and exit handlers) that could pull things from under those
  // threads. The session's files are settled by now.
  if (scribeline::preparationsUnderWay() > 0 || qtStarted) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(status);
  }
  return status;
}
