#include "ClientProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

extern char** environ;

ClientProcess::ClientProcess(const std::vector<std::string>& arguments) {
  int pipeEnds[2];
  if (pipe2(pipeEnds, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("benchmark client: pipe: ") + std::strerror(errno));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  std::vector<std::string> all = {"/proc/self/exe"};
  all.insert(all.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& each : all) argv.push_back(each.data());
  argv.push_back(nullptr);
  const int status = posix_spawn(&pid_, "/proc/self/exe", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipeEnds[1]);
  if (status != 0) {
    close(pipeEnds[0]);
    pid_ = -1;
    throw std::runtime_error(std::string("benchmark client: cannot start /proc/self/exe: ") +
                             std::strerror(status));
  }
  output_ = pipeEnds[0];
}

ClientProcess::ClientProcess(ClientProcess&& other) noexcept
    : pid_(other.pid_), output_(other.output_) {
  other.pid_ = -1;
  other.output_ = -1;
}

// A client left unfinished (the benchmark failed early) is ended by its id.
ClientProcess::~ClientProcess() {
  if (output_ >= 0) close(output_);
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
}

std::string ClientProcess::finish() {
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(output_, buffer, sizeof buffer);
    if (got > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  close(output_);
  output_ = -1;
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("benchmark client ended with status " + std::to_string(status) +
                             (WIFSIGNALED(status)
                                  ? " (signal " + std::to_string(WTERMSIG(status)) + ")"
                                  : std::string()));
  }
  return text;
}
