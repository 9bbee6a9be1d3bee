#include "ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>

extern char** environ;

ChildProcess::ChildProcess(const std::vector<std::string>& arguments,
                           const std::string& errorFile) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  if (!errorFile.empty()) {
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
  }
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  const int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  output_ = pipeEnds[0];
  if (failed != 0) {
    close(output_);
    throw std::runtime_error(arguments[0] + ": cannot be started");
  }
}

ChildProcess::~ChildProcess() {
  if (!reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  close(output_);
}

void ChildProcess::signal(int number) const {
  if (!reaped_) kill(pid_, number);
}

bool ChildProcess::readLine(std::string* line, std::chrono::milliseconds within) {
  const auto until = std::chrono::steady_clock::now() + within;
  for (;;) {
    const auto newline = buffered_.find('\n');
    if (newline != std::string::npos) {
      *line = buffered_.substr(0, newline);
      buffered_.erase(0, newline + 1);
      return true;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd item{output_, POLLIN, 0};
    if (poll(&item, 1, static_cast<int>(left.count())) <= 0) continue;
    char chunk[512];
    const ssize_t got = read(output_, chunk, sizeof chunk);
    if (got <= 0) return false;  // it ended
    buffered_.append(chunk, static_cast<std::size_t>(got));
  }
}

bool ChildProcess::waitFor(const std::string& wanted, std::chrono::milliseconds within) {
  const auto until = std::chrono::steady_clock::now() + within;
  std::string line;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0 || !readLine(&line, left)) return false;
    if (line == wanted) return true;
  }
}

bool ChildProcess::running(int* status) {
  if (!reaped_ && waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
  if (status) *status = status_;
  return !reaped_;
}

int ChildProcess::stop(std::chrono::milliseconds grace) {
  if (!running()) return status_;
  kill(pid_, SIGCONT);
  kill(pid_, SIGTERM);
  const auto until = std::chrono::steady_clock::now() + grace;
  while (running() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, &status_, 0);
    reaped_ = true;
  }
  return status_;
}
