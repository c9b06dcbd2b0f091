// Ending the program from outside (SIGINT, SIGTERM, SIGHUP at logout): no new window
// opens, a running job is cancelled, and every open window closes as soon as it can.
#pragma once

namespace tembrel::ui {

bool shutdownRequested();

// Sets the flag, requests cancel of the running job, and closes the open modal windows
// from the top down. A window that cannot close yet (a progress window whose job runs)
// stops its job and closes itself once it has stopped; whoever opened it sees the flag
// when it returns and opens nothing more.
void requestShutdown();

// For tests: forget an earlier request.
void clearShutdownRequest();

}  // namespace tembrel::ui
