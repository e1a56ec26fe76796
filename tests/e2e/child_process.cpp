#include "tests/e2e/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace scribeline::e2e {

namespace {

// Child side of start(): never returns.
[[noreturn]] void execChild(const std::vector<std::string>& command,
                            const std::string& workDir,
                            const Environment& environment, int output,
                            const std::string& errorPath, bool ownGroup) {
  if (ownGroup) setpgid(0, 0);
  dup2(output, STDOUT_FILENO);
  const int error = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (error >= 0) dup2(error, STDERR_FILENO);
  if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(127);
  for (const auto& [name, value] : environment) {
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
  }
  std::vector<char*> argv;
  for (const std::string& word : command) {
    argv.push_back(const_cast<char*>(word.c_str()));
  }
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
  _exit(127);
}

int decodeStatus(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void pollPause() { std::this_thread::sleep_for(std::chrono::milliseconds(20)); }

ChildProcess::~ChildProcess() { stop(0); }

bool ChildProcess::start(const std::vector<std::string>& command,
                         const std::string& workDir,
                         const Environment& environment,
                         const std::string& errorPath, bool ownGroup) {
  int out[2];
  // Close-on-exec, so that no other child holds this pipe open.
  if (command.empty() || pipe2(out, O_CLOEXEC) != 0) return false;
  pid_ = fork();
  if (pid_ == 0)
    execChild(command, workDir, environment, out[1], errorPath, ownGroup);
  close(out[1]);
  if (pid_ < 0) {
    close(out[0]);
    return false;
  }
  // Also here, so that the group exists before the first signal, whichever
  // process runs first.
  group_ = ownGroup ? pid_ : 0;
  if (ownGroup) setpgid(pid_, pid_);
  output_ = out[0];
  fcntl(output_, F_SETFL, fcntl(output_, F_GETFL) | O_NONBLOCK);
  status_ = -1;
  return true;
}

void ChildProcess::read(std::string* into, double waitSeconds) {
  if (output_ < 0) return;
  pollfd ready{output_, POLLIN, 0};
  poll(&ready, 1, static_cast<int>(waitSeconds * 1000));
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(output_, buffer, sizeof buffer);
    if (n > 0) {
      into->append(buffer, n);
      continue;
    }
    if (n == 0) {
      close(output_);
      output_ = -1;
    }
    return;
  }
}

bool ChildProcess::running() {
  if (pid_ <= 0) return false;
  int raw = 0;
  if (waitpid(pid_, &raw, WNOHANG) != pid_) return true;
  status_ = decodeStatus(raw);
  pid_ = -1;
  return false;
}

void ChildProcess::stop(double graceSeconds) {
  if (pid_ > 0) {
    kill(target(), graceSeconds > 0 ? SIGTERM : SIGKILL);
    const auto start = Clock::now();
    while (running() && secondsSince(start) < graceSeconds) pollPause();
    if (pid_ > 0) {
      kill(target(), SIGKILL);
      int raw = 0;
      waitpid(pid_, &raw, 0);
      status_ = decodeStatus(raw);
      pid_ = -1;
    }
  }
  // The rest of the group, which may outlive its leader.
  if (group_ > 0) kill(-group_, SIGKILL);
  group_ = 0;
  if (output_ >= 0) {
    close(output_);
    output_ = -1;
  }
}

void ChildProcess::sendSignal(int number) {
  if (pid_ > 0) kill(target(), number);
}

bool ChildProcess::limitFileSize(std::optional<unsigned long long> bytes) {
  if (pid_ <= 0) return false;
  rlimit limit{};
  if (prlimit(pid_, RLIMIT_FSIZE, nullptr, &limit) != 0) return false;
  limit.rlim_cur = bytes ? static_cast<rlim_t>(*bytes) : limit.rlim_max;
  return prlimit(pid_, RLIMIT_FSIZE, &limit, nullptr) == 0;
}

std::string runCommand(const std::vector<std::string>& command,
                       const std::string& display, double timeoutSeconds,
                       int* status) {
  ChildProcess child;
  std::string text;
  if (!child.start(command, "", {{"DISPLAY", display}}, "/dev/null")) {
    if (status != nullptr) *status = -1;
    return text;
  }
  const auto start = Clock::now();
  while (!child.outputEnded() && secondsSince(start) < timeoutSeconds) {
    child.read(&text, 0.2);
  }
  while (child.running() && secondsSince(start) < timeoutSeconds) pollPause();
  child.stop(0);
  if (status != nullptr) *status = child.status();
  return text;
}

}  // namespace scribeline::e2e
