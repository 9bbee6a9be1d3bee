// What misbehaving clients cost camsdk-service and the clients beside them, measured against the
// service program in a process of its own on a private ipc endpoint, with a well-behaved client
// (the watcher, this process) streaming 640 x 480 colour at 25 a second throughout:
//
// - quiet: first, 10 s with no other client: the watcher's rate and gaps to compare with.
// - floods: N times, a client floods ListDevices for 1.5 s and reads nothing (the SDK's socket
//   options; every other one with ZeroMQ heartbeats on as well). The service's uptime over the
//   floods, its resident size before and after, and the watcher's colour rate and largest gap
//   between frames during the floods.
// - stops: M times, a client (this program started again with --hold) takes control of the
//   colour node and is stopped with SIGSTOP: the time until the watcher gets control, p50 and
//   worst, and the watcher's rate and largest gap meanwhile.
// - churn: four clients making about 1,500 requests a second each while two others connect,
//   greet, make one request and leave, for 10 s: sessions made, requests answered, any lost, and
//   the watcher's rate and largest gap.
//
//   attack_figures SERVICE [--floods N] [--stops M]        (50 and 20 by default)
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "ClientTools.h"

namespace {

using namespace CamSdk;
using resilience::milliseconds;
using resilience::RawClient;
using resilience::request;
using resilience::Steady;
using resilience::Watcher;

long residentKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

double ms(Steady::duration span) { return std::chrono::duration<double, std::milli>(span).count(); }

// The watcher's colour rate and largest gap over one attack.
class Watch {
 public:
  explicit Watch(Watcher& watcher) : watcher_(watcher), samples_(watcher.samples()) {
    watcher_.takeLargestGap();
  }
  void note() { gap_ = std::max(gap_, watcher_.takeLargestGap()); }
  void print(const char* attack) {
    note();
    const double seconds = std::chrono::duration<double>(Steady::now() - started_).count();
    std::printf("%-7s watcher: %.1f colour frames a second, largest gap %.0f ms\n", attack,
                static_cast<double>(watcher_.samples() - samples_) / seconds, ms(gap_));
  }

 private:
  Watcher& watcher_;
  long samples_;
  Steady::time_point started_ = Steady::now();
  Steady::duration gap_{};
};

void floods(Watcher& watcher, ChildProcess& service, const std::string& endpoint, int count) {
  const long before = residentKiB(service.pid());
  const auto started = Steady::now();
  Watch watch(watcher);
  int survived = 0;
  for (int flood = 0; flood < count; ++flood) {
    std::atomic<bool> done{false};
    std::thread flooder([&] {
      resilience::flood(endpoint, milliseconds(1500), flood % 2 == 1);
      done = true;
    });
    while (!done) watcher.pump(milliseconds(100));
    flooder.join();
    watcher.pump(milliseconds(100));
    watch.note();
    if (!service.running()) break;
    ++survived;
  }
  const double span = std::chrono::duration<double>(Steady::now() - started).count();
  if (survived == count) {
    std::printf(
        "floods  %d of %d survived: the service was up all %.0f s; RSS %ld KiB before, "
        "%ld KiB after\n",
        survived, count, span, before, residentKiB(service.pid()));
  } else {
    std::printf("floods  the service ended during flood %d of %d, after %.0f s\n", survived + 1,
                count, span);
  }
  watch.print("floods");
}

void stops(Watcher& watcher, const std::string& self, int count) {
  std::vector<double> freed;
  Watch watch(watcher);
  for (int stop = 0; stop < count; ++stop) {
    ChildProcess holder({self, "--hold"});
    if (!holder.waitFor("held", milliseconds(5000))) {
      std::printf("stops   the holder did not take control\n");
      return;
    }
    watcher.pump(milliseconds(300));
    holder.signal(SIGSTOP);
    const auto stopped = Steady::now();
    while (!watcher.tryControl() && Steady::now() - stopped < milliseconds(10000)) {
      watcher.pump(milliseconds(5));
    }
    freed.push_back(ms(Steady::now() - stopped));
    watcher.releaseControl();
    watch.note();
  }
  std::sort(freed.begin(), freed.end());
  std::printf(
      "stops   control free after a holder's SIGSTOP: p50 %.0f ms, worst %.0f ms (%zu tries)\n",
      freed[(freed.size() - 1) / 2], freed.back(), freed.size());
  watch.print("stops");
}

void churn(Watcher& watcher, const std::string& endpoint) {
  std::atomic<bool> stop{false};
  std::atomic<long> answered{0};
  std::atomic<long> sessions{0};
  std::atomic<long> lost{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      RawClient load(endpoint);
      std::uint32_t correlation = 1;
      if (!load.call(request(protocol::MessageType::Hello, protocol::Hello{"load"}, 1), 1)
               .empty()) {
        ++lost;
        return;
      }
      auto next = Steady::now();
      while (!stop) {
        ++correlation;
        if (!load.call(request(protocol::MessageType::ListDevices, protocol::ListDevices{},
                               correlation),
                       correlation)
                 .empty()) {
          ++lost;
          return;
        }
        ++answered;
        next += std::chrono::microseconds(666);
        std::this_thread::sleep_until(next);
      }
    });
  }
  for (int i = 0; i < 2; ++i) {
    threads.emplace_back([&] {
      for (int round = 0; !stop; ++round) {
        RawClient brief(endpoint);
        if (!brief.call(request(protocol::MessageType::Hello, protocol::Hello{"brief"}, 1), 1)
                 .empty() ||
            !brief.call(request(protocol::MessageType::ListDevices, protocol::ListDevices{}, 2), 2)
                 .empty()) {
          ++lost;
          continue;
        }
        ++sessions;
        if (round % 2 == 0) brief.send(request(protocol::MessageType::Bye, protocol::Bye{}, 0));
      }
    });
  }
  Watch watch(watcher);
  const auto until = Steady::now() + milliseconds(10000);
  while (Steady::now() < until) watcher.pump(milliseconds(100));
  stop = true;
  for (std::thread& thread : threads) thread.join();
  std::printf("churn   %ld brief sessions, %ld requests answered in 10 s, %ld sessions lost\n",
              sessions.load(), answered.load(), lost.load());
  watch.print("churn");
}

// The holder: takes control of the first colour node, says so, and waits to be stopped.
int hold() {
  Watcher holder;
  if (!holder.tryControl()) return 1;
  std::printf("held\n");
  std::fflush(stdout);
  while (holder.pump(milliseconds(1000))) {
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--hold") return hold();
  if (argc < 2) {
    std::fprintf(stderr, "usage: attack_figures SERVICE [--floods N] [--stops M]\n");
    return 2;
  }
  int floodCount = 50;
  int stopCount = 20;
  for (int i = 2; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--floods") floodCount = std::atoi(argv[i + 1]);
    if (option == "--stops") stopCount = std::atoi(argv[i + 1]);
  }
  const std::string name = "/tmp/camsdk-attacks-" + std::to_string(getpid());
  const std::string endpoint = "ipc://" + name + ".sock";
  setenv("CAMSDK_ENDPOINT", endpoint.c_str(), 1);
  ChildProcess service({argv[1], "--no-v4l2", "--endpoint", endpoint, "--log-level", "error"},
                       name + ".log");
  std::unique_ptr<Watcher> watcher;
  for (int attempt = 0; attempt < 5 && !watcher; ++attempt) {
    try {
      watcher = std::make_unique<Watcher>();
    } catch (const IOException&) {
    }
  }
  if (!watcher) {
    std::fprintf(stderr, "attack_figures: no service answered on %s\n", endpoint.c_str());
    return 1;
  }
  watcher->pump(milliseconds(1000));
  {
    Watch quiet(*watcher);
    watcher->pump(milliseconds(10000));
    quiet.print("quiet");
  }
  floods(*watcher, service, endpoint, floodCount);
  stops(*watcher, "/proc/self/exe", stopCount);
  churn(*watcher, endpoint);
  watcher.reset();
  const int status = service.stop();
  std::printf("service ended with status %d; its log: %s.log\n", status, name.c_str());
  return 0;
}
