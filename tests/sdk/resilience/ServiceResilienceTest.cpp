// camsdk-service in a process of its own against clients that misbehave: a flood of requests
// that reads nothing, a holder of a node that is stopped (SIGSTOP) and continued, connections
// that come and go under load. Throughout, a well-behaved client (the watcher) streams colour
// and never loses its camera. Each test has a service and an ipc endpoint of its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "ClientTools.h"
#include "camsdk/CamSdk.h"

namespace CamSdk {
namespace {

using resilience::on;
using resilience::RawClient;
using resilience::request;
using std::chrono::milliseconds;
using Steady = std::chrono::steady_clock;

class ServiceResilience : public ::testing::Test {
 protected:
  void SetUp() override {
    static int count = 0;
    const std::string name =
        "/tmp/camsdk-resilience-" + std::to_string(getpid()) + "-" + std::to_string(count++);
    endpoint_ = "ipc://" + name + ".sock";
    setenv("CAMSDK_ENDPOINT", endpoint_.c_str(), 1);
    const char* path = getenv("DV_SERVICE");
    service_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{path ? path : DV_SERVICE_PATH, "--no-v4l2", "--endpoint",
                                 endpoint_, "--log-level", "info"},
        name + ".log");
    for (int attempt = 0; attempt < 5 && !watcher_; ++attempt) {
      try {
        watcher_ = std::make_unique<resilience::Watcher>();
      } catch (const IOException&) {
      }
    }
    ASSERT_TRUE(watcher_) << "no service answered on " << endpoint_;
  }
  void TearDown() override {
    watcher_.reset();
    if (service_) {
      const int status = service_->stop();
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "service status " << status;
    }
    unsetenv("CAMSDK_ENDPOINT");
  }

  // Runs the watcher's loop for `span`. It stays served: its camera never goes.
  void pump(milliseconds span) {
    ASSERT_TRUE(watcher_->pump(span)) << "the well-behaved client lost its camera";
  }
  bool tryControl() { return watcher_->tryControl(); }
  std::string client() const { return DV_RESILIENCE_CLIENT_PATH; }

  std::string endpoint_;
  std::unique_ptr<ChildProcess> service_;
  std::unique_ptr<resilience::Watcher> watcher_;
};

// A flood of requests that reads nothing, again and again, with the SDK's socket options and
// with ZeroMQ's heartbeats on as well (a client of the previous version): each flooder is
// dropped alone, the service stays up and the watcher streams on.
TEST_F(ServiceResilience, RepeatedFloodsLeaveTheServiceUp) {
  constexpr int kFloods = 8;
  for (int flood = 0; flood < kFloods; ++flood) {
    SCOPED_TRACE("flood " + std::to_string(flood));
    std::atomic<bool> done{false};
    std::thread flooder([&] {
      resilience::flood(endpoint_, milliseconds(1500), flood % 2 == 1);
      done = true;
    });
    const long before = watcher_->samples();
    while (!done) pump(milliseconds(100));
    flooder.join();
    pump(milliseconds(200));
    ASSERT_TRUE(service_->running()) << "the service ended";
    EXPECT_GT(watcher_->samples(), before + 20) << "the watcher's colour stalled during the flood";
  }
}

// A holder stopped outright keeps its node no longer than the silence limit allows, whether
// or not it streams; continued, it hears that it lost the camera, and takes it again.
TEST_F(ServiceResilience, AStoppedHolderIsFreedWithinTwoSeconds) {
  for (const char* streams : {"0", "1"}) {
    SCOPED_TRACE(std::string("streaming: ") + streams);
    ChildProcess holder({client(), "hold", streams});
    ASSERT_TRUE(holder.waitFor("held", milliseconds(5000)));
    if (streams[0] == '1') {
      ASSERT_TRUE(holder.waitFor("streaming", milliseconds(5000)));
    }
    pump(milliseconds(300));
    ASSERT_FALSE(tryControl());

    holder.signal(SIGSTOP);
    const auto stopped = Steady::now();
    while (!tryControl() && Steady::now() - stopped < milliseconds(5000)) pump(milliseconds(20));
    const auto freed = std::chrono::duration_cast<milliseconds>(Steady::now() - stopped);
    EXPECT_LT(freed.count(), 2000) << "control was freed after " << freed.count() << " ms";
    watcher_->releaseControl();

    holder.signal(SIGCONT);
    EXPECT_TRUE(holder.waitFor("lost", milliseconds(5000)));
    EXPECT_TRUE(holder.waitFor("held", milliseconds(5000)));
    EXPECT_TRUE(holder.running());
    pump(milliseconds(100));
  }
}

// A holder whose loop spends 3 s in a handler is busy, not gone: it keeps its node throughout
// and never hears its camera go.
TEST_F(ServiceResilience, AHolderBusyInAHandlerKeepsItsNode) {
  ChildProcess holder({client(), "hold", "2"});
  ASSERT_TRUE(holder.waitFor("busy", milliseconds(5000)));
  const auto busy = Steady::now();
  while (Steady::now() - busy < milliseconds(2800)) {
    ASSERT_FALSE(tryControl()) << "control was freed while its holder ran a handler";
    pump(milliseconds(100));
  }
  std::string line;
  ASSERT_TRUE(holder.readLine(&line, milliseconds(5000)));
  EXPECT_EQ(line, "back");
  EXPECT_FALSE(holder.readLine(&line, milliseconds(1000))) << "then it said " << line;
}

// A streaming client stopped for 10 s, while its queue fills, and continued: it does not
// abort, it hears the camera go and come back, and streams again.
TEST_F(ServiceResilience, AClientStoppedForTenSecondsCarriesOn) {
  ChildProcess holder({client(), "hold", "1"});
  ASSERT_TRUE(holder.waitFor("streaming", milliseconds(5000)));
  holder.signal(SIGSTOP);
  pump(milliseconds(10000));
  holder.signal(SIGCONT);
  EXPECT_TRUE(holder.waitFor("lost", milliseconds(5000)));
  EXPECT_TRUE(holder.waitFor("held", milliseconds(5000)));
  EXPECT_TRUE(holder.waitFor("streaming", milliseconds(5000)));
  int status = 0;
  EXPECT_TRUE(holder.running(&status)) << "the client ended, status " << status;
}

// Four clients make about a thousand requests a second each while others connect, greet,
// make one request and leave (some saying goodbye, some not): no request goes unanswered and
// no session is ended for another connection's close.
TEST_F(ServiceResilience, ConnectionChurnUnderLoadLosesNoSession) {
  std::atomic<bool> stop{false};
  std::atomic<int> failures{0};
  std::atomic<long> answered{0};
  std::atomic<long> sessions{0};
  std::vector<std::string> reasons(6);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      RawClient load(endpoint_);
      std::uint32_t correlation = 1;
      std::string failed = load.call(
          request(protocol::MessageType::Hello, protocol::Hello{"load"}, correlation), correlation);
      auto next = Steady::now();
      while (failed.empty() && !stop) {
        ++correlation;
        failed = load.call(
            request(protocol::MessageType::ListDevices, protocol::ListDevices{}, correlation),
            correlation);
        ++answered;
        next += milliseconds(1);
        std::this_thread::sleep_until(next);
      }
      if (!failed.empty()) {
        ++failures;
        reasons[i] = failed;
      }
    });
  }
  for (int i = 4; i < 6; ++i) {
    threads.emplace_back([&, i] {
      for (int round = 0; !stop; ++round) {
        RawClient brief(endpoint_);
        std::string failed =
            brief.call(request(protocol::MessageType::Hello, protocol::Hello{"brief"}, 1), 1);
        if (failed.empty()) {
          failed = brief.call(
              request(protocol::MessageType::ListDevices, protocol::ListDevices{}, 2), 2);
        }
        if (!failed.empty()) {
          ++failures;
          reasons[i] = failed;
          return;
        }
        ++sessions;
        if (round % 2 == 0) brief.send(request(protocol::MessageType::Bye, protocol::Bye{}, 0));
      }
    });
  }
  pump(milliseconds(4000));
  stop = true;
  for (std::thread& thread : threads) thread.join();
  for (const std::string& reason : reasons) EXPECT_EQ(reason, "");
  EXPECT_EQ(failures.load(), 0);
  EXPECT_GT(sessions.load(), 100);
  EXPECT_GT(answered.load(), 4000);
}

}  // namespace
}  // namespace CamSdk
