#include "ServedInThread.h"

#include <unistd.h>

#include <cstdlib>
#include <iostream>

namespace {

std::string endpointNamed(const std::string& name) {
  const char* folder = std::getenv("TMPDIR");
  return std::string("ipc://") + (folder != nullptr && *folder != '\0' ? folder : "/tmp") +
         "/camsdk-bench-" + std::to_string(getpid()) + "-" + name + ".sock";
}

CamSdk::server::ServerOptions optionsFor(const std::string& endpoint) {
  CamSdk::server::ServerOptions options;
  options.endpoint = endpoint;
  options.log = [](int level, const std::string& line) {
    if (level == 0) std::cerr << "benchmark service: " << line << "\n";
  };
  return options;
}

}  // namespace

ServedInThread::ServedInThread(std::shared_ptr<CamSdk::detail::Service> service,
                               const std::string& name)
    : service_(std::move(service)),
      endpoint_(endpointNamed(name)),
      server_(*service_, optionsFor(endpoint_)),
      thread_([this] { server_.run(stop_); }) {}

// ZeroMQ leaves the socket's file behind; a run of the benchmarks would strew the folder.
ServedInThread::~ServedInThread() {
  stop_ = true;
  thread_.join();
  unlink(endpoint_.substr(std::string("ipc://").size()).c_str());
}

std::chrono::nanoseconds ServedInThread::clockOrigin() const {
  // Two reads a few tens of nanoseconds apart: far below what the benchmarks resolve.
  const auto steady = std::chrono::steady_clock::now().time_since_epoch();
  const auto service = service_->clock().now();
  return std::chrono::duration_cast<std::chrono::nanoseconds>(steady) - service;
}
