// A program the resilience tests start: its standard output read line by line through a pipe,
// signalled and ended by its process id, never outliving the test.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

class ChildProcess {
 public:
  // Starts `arguments[0]` with the rest as its arguments; standard error goes to `errorFile`
  // (or is inherited when empty).
  explicit ChildProcess(const std::vector<std::string>& arguments,
                        const std::string& errorFile = {});
  ~ChildProcess();  // SIGKILL, then reaped
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t pid() const { return pid_; }
  void signal(int number) const;
  // The next whole line it prints (without the newline), or false when none comes in time.
  bool readLine(std::string* line, std::chrono::milliseconds within);
  // Waits for a line equal to `wanted`, passing over others; false when none comes in time.
  bool waitFor(const std::string& wanted, std::chrono::milliseconds within);
  // Whether it still runs; once it has ended, its wait status is in *status.
  bool running(int* status = nullptr);
  // SIGTERM, then SIGKILL after `grace`; returns its wait status.
  int stop(std::chrono::milliseconds grace = std::chrono::milliseconds(3000));

 private:
  pid_t pid_ = -1;
  int output_ = -1;
  std::string buffered_;
  bool reaped_ = false;
  int status_ = 0;
};
