// The signals that end a run from outside (Ctrl-C, kill, a closed terminal or dropped
// connection) request a cancel exactly as a Cancel button does, so that the file in hand
// is cleaned up rather than left half written.
#pragma once

namespace tembrel {

// Makes SIGINT, SIGTERM and SIGHUP set JobProgress::cancelRequested and cancelSignalled(),
// and write one byte into cancelSignalPipe(); nothing else happens in the handler.
// Idempotent.
void installCancelSignals();

// True once one of those signals has arrived.
bool cancelSignalled();

// The read end of a non-blocking pipe that receives a byte for every such signal, for an
// event loop that must wake up to it; -1 before installCancelSignals or when no pipe
// could be made.
int cancelSignalPipe();

}  // namespace tembrel
