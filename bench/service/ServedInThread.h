// A camera service served over ZeroMQ from a thread of the benchmark's process, on an ipc
// endpoint of its own. Clients reach it through the same sockets as the service program's;
// serving it here only makes its clock readable, so that a client can tell how long ago a
// sample was captured.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "server/ServiceServer.h"
#include "service/Service.h"

class ServedInThread {
 public:
  // Serves `service` at ipc://<temporary folder>/camsdk-bench-<pid>-<name>.sock.
  ServedInThread(std::shared_ptr<CamSdk::detail::Service> service, const std::string& name);
  ~ServedInThread();
  ServedInThread(const ServedInThread&) = delete;
  ServedInThread& operator=(const ServedInThread&) = delete;

  const std::string& endpoint() const { return endpoint_; }
  // Where the service clock's zero lies on this machine's steady clock (CLOCK_MONOTONIC,
  // which every process here shares): a sample's time of capture is this plus timeOfCapture.
  std::chrono::nanoseconds clockOrigin() const;

 private:
  std::shared_ptr<CamSdk::detail::Service> service_;
  std::string endpoint_;
  CamSdk::server::ServiceServer server_;
  std::atomic<bool> stop_{false};
  std::thread thread_;  // last: it starts once everything it uses is in place
};
