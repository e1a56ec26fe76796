#pragma once

// The processes of a real-window test: the program under test, the X server
// and the X client tools, each with its standard output read through a pipe.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace scribeline::e2e {

// Variables set (with a value) or removed (without) over the test's own
// environment.
using Environment = std::map<std::string, std::optional<std::string>>;

using Clock = std::chrono::steady_clock;
double secondsSince(Clock::time_point start);
// The polling step of every wait: events, not time, decide the outcome of a
// wait; the step only bounds how long a ready condition goes unnoticed.
void pollPause();

class ChildProcess {
 public:
  ChildProcess() = default;
  // Kills a child still running.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `command` (its first word looked up in PATH) in `workDir` (the
  // test's own when empty) with `environment` applied; its standard error
  // goes to the file `errorPath`. False when no process could be made; a
  // command that cannot be run ends with status 127. With ownGroup the
  // child leads a process group of its own, and stop() and sendSignal()
  // reach every process of that group (helpers it starts, daemons among
  // them, unless they leave the group).
  bool start(const std::vector<std::string>& command,
             const std::string& workDir, const Environment& environment,
             const std::string& errorPath, bool ownGroup = false);

  // Appends to *into what the child has written, waiting up to waitSeconds
  // for the first bytes when none are ready.
  void read(std::string* into, double waitSeconds);
  // True once the child's standard output has closed (it ended, usually).
  bool outputEnded() const { return output_ < 0; }

  // The child's process id; -1 before it started.
  pid_t pid() const { return pid_; }
  // False once the child has ended; status() is then known.
  bool running();
  // Exit status, 128 + signal number for a child ended by a signal, or -1
  // while it runs or when it never started.
  int status() const { return status_; }
  // Ends the child: SIGTERM, and SIGKILL when it is still there after
  // graceSeconds (at once with 0).
  void stop(double graceSeconds);
  // Sends the signal to a child still running.
  void sendSignal(int number);
  // Sets the soft file size limit (RLIMIT_FSIZE) of a child still running,
  // or lifts it to the hard limit with no value. False when it cannot.
  bool limitFileSize(std::optional<unsigned long long> bytes);

 private:
  // The target of kill(): the child, or its whole group.
  pid_t target() const { return group_ > 0 ? -group_ : pid_; }

  pid_t pid_ = -1;
  // The child's own process group (its first id), 0 for none; kept after
  // the child has ended until stop() has ended the group too.
  pid_t group_ = 0;
  int output_ = -1;
  int status_ = -1;
};

// Runs a command to its end, with DISPLAY set to `display`, and returns its
// standard output; a command still running after timeoutSeconds is killed.
// *status receives its exit status.
std::string runCommand(const std::vector<std::string>& command,
                       const std::string& display, double timeoutSeconds,
                       int* status = nullptr);

}  // namespace scribeline::e2e
