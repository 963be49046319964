#pragma once

#include <functional>
#include <string>
#include <vector>

namespace pellmarsh {

// How a program run to its end ended.
struct ProcessExit {
  bool started = false;
  int startError = 0;    // errno when it could not be started
  bool stopped = false;  // ended because a stop was asked for
  int exitCode = 0;      // a death by a signal reads as 128 + the signal, as in a shell
  int signal = 0;        // the signal that ended it; 0 when it exited
};

// The file RunProgram runs for a program: one named with a "/" is that path,
// a bare name the first executable file of that name in a folder of PATH (as
// the shell looks it up); empty when there is none.
std::string FindProgram(const std::string& program);

// Runs argv[0] with the argument vector `argv`, never through a shell, and
// waits for it to exit; a bare name is looked up as FindProgram does. The
// program inherits standard input, output and error and no other descriptor of
// ours. It runs in a process group of its own: once `stopWanted` answers true
// the group is sent SIGTERM, and SIGKILL five seconds later or as soon as the
// program itself has ended.
ProcessExit RunProgram(const std::vector<std::string>& argv,
                       const std::function<bool()>& stopWanted);

// As RunProgram, but with standard input on /dev/null and standard output and
// error into one pipe: the first `keepBytes` of what the program writes land
// in `output`, the rest is read and dropped, so a talkative program never
// blocks. Once the program has ended the pipe is closed: what it left running
// gets EPIPE (or SIGPIPE) if it writes there later.
ProcessExit RunProgramCapturing(const std::vector<std::string>& argv,
                                const std::function<bool()>& stopWanted, size_t keepBytes,
                                std::string& output);

// Starts the program at `path` and does not wait for it: in a session of its
// own and with standard input, output and error on /dev/null, so that it
// outlives whoever started it and keeps none of its pipes. False when it could
// not be started.
bool StartDetached(const std::string& path);

}  // namespace pellmarsh
