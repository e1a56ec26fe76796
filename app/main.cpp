#include <iostream>

#include "app/program.h"
#include "ui/highgui_window_system.h"

int main(int argc, char** argv) {
  return scribeline::runProgram(argc, argv, std::cout, [&](std::string* error) {
    return std::shared_ptr<scribeline::WindowSystem>(
        scribeline::openHighguiWindowSystem(argc, argv, error));
  });
}
