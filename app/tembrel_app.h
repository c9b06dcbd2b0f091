// The program's start: one complete job per command-line path, one after the other,
// then the main window; closing it ends the program.
#pragma once

#include <string>
#include <vector>

#include "driver/convert_job.h"

namespace tembrel {

class CTembrelApp {
  public:
    // `paths`: the command line's arguments after Qt has taken its own options, each
    // taken as a path exactly as given. Returns when the main window has closed.
    int InitInstance(const std::vector<std::string>& paths);

  private:
    // The outputs written by every job of this run, so that a second source of one
    // output name (x.wav, then x.mp3) is refused instead of replacing the first's.
    OutputRecord outputs_;
};

}  // namespace tembrel
