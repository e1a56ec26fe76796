#include <iostream>

#include "app/program.h"
#include "autosave/abrupt_end.h"
#include "ui/display_loss.h"
#include "ui/highgui_window_system.h"

int main(int argc, char** argv) {
  // Before any thread starts: see watchForAbruptEnds.
  scribeline::watchForAbruptEnds();
  scribeline::watchForDisplayLoss(scribeline::endAfterDisplayLost);
  return scribeline::runProgram(argc, argv, std::cout, [&](std::string* error) {
    return std::shared_ptr<scribeline::WindowSystem>(
        scribeline::openHighguiWindowSystem(argc, argv, error));
  });
}
