// A job that converts several files at once hands each file to a worker: this program
// started again with a hidden option, which converts the files the job sends it one
// after the other, each through the same single-file path as a job of one file at a
// time. A worker never puts an output in place: it hands the job its temporary file,
// which the job commits after its own checks, or removes. It dies with the job (and
// then removes its temporary file), and a worker that dies costs only its file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "driver/file_encoder.h"

namespace tembrel {

inline constexpr std::string_view kEncodeWorkerOption = "--encode-worker";
// How a program names itself to be started again, wherever it was run from.
inline constexpr const char* kThisProgram = "/proc/self/exe";
// A test seam: a worker asked to convert a file of this name (the last element of its
// path) kills itself once its temporary output exists.
inline constexpr const char* kKillWorkerVariable = "TEMBREL_TEST_KILL_WORKER_ON";

// True when main() was started as a worker. Asked before anything else: a window program
// must not make its QApplication then.
bool isEncodeWorkerCall(int argc, char** argv);
// The worker's whole run, to its exit status.
int runEncodeWorker(int argc, char** argv, FileEncoder& encoder);
// The arguments a worker of this process is started with, argv[0] first (the name this
// process was started by, so that a worker shows as the same program).
std::vector<std::string> encodeWorkerArguments();

// The program a job starts as its workers. A main() that hands kEncodeWorkerOption to
// runEncodeWorker sets it (kThisProgram); until then it is empty and every job converts
// one file at a time, in its own process.
void setEncodeWorkerProgram(std::string program);
const std::string& encodeWorkerProgram();

}  // namespace tembrel
