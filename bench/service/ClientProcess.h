// A benchmark client in a process of its own: this program started again with the given
// arguments, its standard output read through a pipe. Each client then has its own ZeroMQ
// I/O thread and its own share of the processor, as a viewer has.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class ClientProcess {
 public:
  explicit ClientProcess(const std::vector<std::string>& arguments);
  ~ClientProcess();
  ClientProcess(ClientProcess&& other) noexcept;
  ClientProcess(const ClientProcess&) = delete;
  ClientProcess& operator=(const ClientProcess&) = delete;
  ClientProcess& operator=(ClientProcess&&) = delete;

  // What it printed, once it has ended. Raises std::runtime_error when it did not exit 0.
  std::string finish();

 private:
  pid_t pid_ = -1;
  int output_ = -1;
};
