// SIGINT, SIGTERM and SIGHUP (a logout) end the program as Cancel would: the running
// job stops after the frame in hand and its partial output is removed, every window
// closes, and the program ends once the worker has stopped. The handler only sets the
// cancel flag and writes a byte into a pipe; the window thread reads it and does the rest.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace tembrel {

class InterruptSignals : public QObject {
  public:
    explicit InterruptSignals(QObject* parent = nullptr);
    // Puts the default handlers back.
    ~InterruptSignals() override;

  private:
    void onSignal();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tembrel
