// The worker: one process per printer, because the driver keeps one port
// per process. It loads the library, opens the printer's port, and runs the
// tasks the supervisor sends over its socket, one at a time. Each step is in
// the journal before its export is called, and its result after: the worker
// sends the writes and waits until the supervisor has committed them.
#pragma once

#include <string>

namespace vltxd {

struct WorkerArgs {
    int Socket = -1;
    std::string Printer, Port, Library, StateDir;
    bool Log = false;
    int ReopenMs = 2000;
};

// Parses "--worker ..." arguments; false when they are not a worker's.
bool ParseWorkerArgs(int argc, char** argv, WorkerArgs& args);
int RunWorker(const WorkerArgs& args);

// The library: the path given, else VLTXDRV_LIB, else beside the program.
void* LoadDriver(const std::string& wanted, std::string& error);

}  // namespace vltxd
