// tembrel: the window program. Every argument is a path, handled as one job before the
// main window opens.
#include <QApplication>
#include <string>
#include <vector>

#include "app/interrupt_signals.h"
#include "app/program_look.h"
#include "app/tembrel_app.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    tembrel::applyProgramLook(app);
    tembrel::InterruptSignals interrupts;
    // Qt has removed its own options from argv; everything left is a path, as given.
    const std::vector<std::string> paths(argv + 1, argv + argc);
    tembrel::CTembrelApp tembrelApp;
    return tembrelApp.InitInstance(paths);
}
