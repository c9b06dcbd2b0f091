// tembrel: the window program. Every argument is a path, handled as one job before the
// main window opens.
#include <QApplication>
#include <string>
#include <vector>

#include "app/interrupt_signals.h"
#include "app/program_look.h"
#include "app/tembrel_app.h"
#include "driver/encode_worker.h"
#include "twinvq/encoder_driver.h"

int main(int argc, char** argv) {
    // A worker converts files for a job of this program; it opens no window.
    if (tembrel::isEncodeWorkerCall(argc, argv))
        return tembrel::runEncodeWorker(argc, argv, tembrel::encoderDriver());
    tembrel::setEncodeWorkerProgram(tembrel::kThisProgram);
    QApplication app(argc, argv);
    tembrel::applyProgramLook(app);
    tembrel::InterruptSignals interrupts;
    // Qt has removed its own options from argv; everything left is a path, as given.
    const std::vector<std::string> paths(argv + 1, argv + argc);
    tembrel::CTembrelApp tembrelApp;
    return tembrelApp.InitInstance(paths);
}
