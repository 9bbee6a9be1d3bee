// The camera service's figures over ZeroMQ on this machine. The service runs in a thread of
// this program, serving an ipc endpoint of its own; each client is this program started again
// (BenchClient), a process of its own like a viewer.
//
// Each figure with /shared:1 has the clients read maps from the service's shared memory, as
// local clients do by default; /shared:0 sends every map in its message (the clients run with
// CAMSDK_NO_SHARED_MEMORY set), as for a client that cannot map it.
//
// - SampleLatency/clients:N/shared:S: N clients stream depth (320 x 240, with vertices), colour
//   (640 x 480) at 25 a second and audio, as the viewer does. The time from each sample's
//   capture to its handler, over all samples of all clients: p50, p99 and the worst, in
//   microseconds (target p99 <= 2000). Samples are stamped on the service clock, whose zero
//   this process knows (ServedInThread::clockOrigin); the clients compare on the steady clock
//   they share with it. service_cpu_pct: this process's CPU time (the service's thread and
//   its ZeroMQ thread) as a share of one core.
// - WakeUpLateness: a process that only sleeps until 100 instants a second: how late it wakes
//   (p50, p99, worst), the scheduler's own share of the latencies above on this machine now.
// - ColourRate/per_second:R/buffers:B/shared:S: one client takes a 640 x 480 packed 4:2:2 stream
//   (614,400 bytes a sample) from a camera that costs nothing to produce (PreparedColourCamera)
//   at R a second, with a queue of B pictures (1: each must leave within its period); R = 0:
//   as fast as the service sends. Counters: received a second, dropped (target: none at 1,000
//   a second or more); and where drops come from: lost_in_camera (periods the service loop
//   came too late for), pause_us (the client loop's longest pause), service_cpu_us (this
//   process's CPU time a sample).
// - CopyColourSample: memcpy of the same 614,400 bytes, the floor the rates compare with.
//
// After the run, a summary for each queue length: the highest rate received without drops in
// every run (several with --benchmark_repetitions) and in at least one, and its share of the
// copy rate.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "BenchClient.h"
#include "ClientProcess.h"
#include "PreparedColourCamera.h"
#include "SampleHeap.h"
#include "ServedInThread.h"
#include "camsdk/testing/Scenario.h"
#include "testing/ServiceFactory.h"

namespace {

constexpr long kLatencyWarmupMs = 2000;
constexpr long kLatencyMeasureMs = 20000;
constexpr long kRateWarmupMs = 500;
constexpr long kRateMeasureMs = 3000;

std::vector<std::string> clientArguments(const char* mode, const ServedInThread& served,
                                         long warmupMs, long measureMs, bool configure) {
  return {"--client",
          mode,
          served.endpoint(),
          std::to_string(served.clockOrigin().count()),
          std::to_string(warmupMs),
          std::to_string(measureMs),
          configure ? "1" : "0"};
}

// User and system time of this process so far, every thread counted.
double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// The nearest-rank percentile of sorted values.
// The clients this process starts from now on read maps from shared memory, or not.
void clientsMapSharedMemory(bool shared) {
  if (shared) {
    unsetenv("CAMSDK_NO_SHARED_MEMORY");
  } else {
    setenv("CAMSDK_NO_SHARED_MEMORY", "1", 1);
  }
}

double percentile(const std::vector<std::int64_t>& sorted, double fraction) {
  if (sorted.empty()) return 0;
  auto rank = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size()) + 0.999999);
  rank = std::clamp<std::size_t>(rank, 1, sorted.size());
  return static_cast<double>(sorted[rank - 1]);
}

// Hands each "WORD NUMBER" pair a client printed to `each`.
template <class Each>
void readPairs(const std::string& text, Each each) {
  std::istringstream words(text);
  std::string word;
  long long value = 0;
  while (words >> word >> value) each(word, value);
}

// p50, p99 and the worst of `times` (nanoseconds) as counters in microseconds, and their count.
void reportTimes(benchmark::State& state, std::vector<std::int64_t>& times) {
  std::sort(times.begin(), times.end());
  state.counters["p50_us"] = percentile(times, 0.50) / 1000.0;
  state.counters["p99_us"] = percentile(times, 0.99) / 1000.0;
  state.counters["max_us"] = percentile(times, 1.0) / 1000.0;
  state.counters["samples"] = static_cast<double>(times.size());
}

void SampleLatency(benchmark::State& state) {
  const auto clients = static_cast<int>(state.range(0));
  clientsMapSharedMemory(state.range(1) != 0);
  auto service = CamSdk::detail::makeService("bench", CamSdk::testing::Topology::OneCamera, false);
  ServedInThread served(service, "latency");
  std::map<char, std::vector<std::int64_t>> byKind;
  std::vector<std::int64_t> all;
  long long dropped = 0;
  double serviceCpu = 0;
  for (auto _ : state) {
    const double cpuBefore = processCpuSeconds();
    try {
      // The first client configures the streams, as the first viewer does; the others
      // share them.
      std::vector<ClientProcess> processes;
      for (int i = 0; i < clients; ++i) {
        processes.emplace_back(
            clientArguments("latency", served, kLatencyWarmupMs, kLatencyMeasureMs, i == 0));
      }
      for (ClientProcess& process : processes) {
        readPairs(process.finish(), [&](const std::string& word, long long value) {
          if (word == "dropped") {
            dropped += value;
          } else {
            byKind[word[0]].push_back(value);
            all.push_back(value);
          }
        });
      }
      serviceCpu += processCpuSeconds() - cpuBefore;
    } catch (const std::exception& error) {
      state.SkipWithError(error.what());
      return;
    }
    state.SetIterationTime(static_cast<double>(kLatencyMeasureMs) / 1000.0);
  }
  reportTimes(state, all);
  for (auto& [kind, values] : byKind) {
    std::sort(values.begin(), values.end());
    state.counters[std::string(1, kind) + "_p99_us"] = percentile(values, 0.99) / 1000.0;
  }
  state.counters["dropped"] = static_cast<double>(dropped);
  // The clients run for their warm-up and their measurement.
  state.counters["service_cpu_pct"] =
      100.0 * serviceCpu / (static_cast<double>(kLatencyWarmupMs + kLatencyMeasureMs) / 1000.0);
}
BENCHMARK(SampleLatency)
    ->ArgNames({"clients", "shared"})
    ->ArgsProduct({{1, 4, 16}, {1, 0}})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

// The scheduler's share of those latencies: a process that only sleeps until 100 instants a
// second, with how late it wakes, in the same run.
void WakeUpLateness(benchmark::State& state) {
  std::vector<std::int64_t> all;
  for (auto _ : state) {
    try {
      ClientProcess sleeper({"--client", "wakeup", "-", "0", std::to_string(kLatencyWarmupMs),
                             std::to_string(kLatencyMeasureMs), "0"});
      readPairs(sleeper.finish(), [&all](const std::string& word, long long value) {
        if (word == "w") all.push_back(value);
      });
    } catch (const std::exception& error) {
      state.SkipWithError(error.what());
      return;
    }
    state.SetIterationTime(static_cast<double>(kLatencyMeasureMs) / 1000.0);
  }
  reportTimes(state, all);
}
BENCHMARK(WakeUpLateness)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// Runs of one rate (more than one with --benchmark_repetitions) and how many lost nothing.
struct RateRuns {
  int runs = 0;
  int withoutDrops = 0;
};
// By queue length and whether maps were shared, then rate.
std::map<std::pair<int, int>, std::map<int, RateRuns>> rateResults;
// The unpaced rate received, by whether maps were shared.
std::map<int, double> unpacedRates;
double copiesPerSecond = 0;

void ColourRate(benchmark::State& state) {
  const auto perSecond = static_cast<int>(state.range(0));
  const auto buffers = static_cast<int>(state.range(1));
  const auto shared = static_cast<int>(state.range(2));
  clientsMapSharedMemory(shared != 0);
  auto service = CamSdk::detail::makeService("bench", CamSdk::testing::Topology::Empty, false);
  const auto camera = addPreparedColourCamera(*service, perSecond, buffers);
  ServedInThread served(service, "colour");
  long long received = 0;
  long long dropped = 0;
  long long pause = 0;
  double serviceCpu = 0;
  for (auto _ : state) {
    const double cpuBefore = processCpuSeconds();
    try {
      ClientProcess client(clientArguments("colour", served, kRateWarmupMs, kRateMeasureMs, false));
      readPairs(client.finish(), [&](const std::string& label, long long value) {
        if (label == "received") received += value;
        if (label == "dropped") dropped += value;
        if (label == "pause_us") pause = std::max(pause, value);
      });
      serviceCpu += processCpuSeconds() - cpuBefore;
    } catch (const std::exception& error) {
      state.SkipWithError(error.what());
      return;
    }
    state.SetIterationTime(static_cast<double>(kRateMeasureMs) / 1000.0);
  }
  const double seconds = static_cast<double>(kRateMeasureMs) / 1000.0;
  state.counters["received_per_s"] = static_cast<double>(received) / seconds;
  state.counters["dropped"] = static_cast<double>(dropped);
  // Pictures the service loop came too late for, the warm-up included: of the drops, those
  // that never reached the transport.
  state.counters["lost_in_camera"] = static_cast<double>(camera->lost());
  // The client's longest pause between two samples, in microseconds: its loop was not running.
  state.counters["pause_us"] = static_cast<double>(pause);
  // What this process (the service's thread and its ZeroMQ thread) spent on each sample sent.
  if (camera->taken() > 0) {
    state.counters["service_cpu_us"] = 1e6 * serviceCpu / static_cast<double>(camera->taken());
  }
  state.SetBytesProcessed(received * static_cast<long long>(PreparedColourCamera::kPictureBytes));
  if (perSecond == 0) unpacedRates[shared] = static_cast<double>(received) / seconds;
  RateRuns& runs = rateResults[{buffers, shared}][perSecond];
  ++runs.runs;
  if (dropped == 0) ++runs.withoutDrops;
}
BENCHMARK(ColourRate)
    ->ArgNames({"per_second", "buffers", "shared"})
    ->ArgsProduct({{500, 1000, 2000, 3000, 4000, 6000}, {1, 4}, {1, 0}})
    ->Args({0, 1, 1})
    ->Args({0, 1, 0})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

void CopyColourSample(benchmark::State& state) {
  std::vector<std::uint8_t> from(PreparedColourCamera::kPictureBytes, 1);
  std::vector<std::uint8_t> to(PreparedColourCamera::kPictureBytes);
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
    benchmark::ClobberMemory();
  }
  const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(from.size()));
  copiesPerSecond = static_cast<double>(state.iterations()) / spent.count();
}
BENCHMARK(CopyColourSample);

void printSummary() {
  if (copiesPerSecond > 0) {
    std::printf("\nmemcpy of the same %zu bytes: %.0f a second (wall clock)\n",
                PreparedColourCamera::kPictureBytes, copiesPerSecond);
  }
  for (const auto& [shared, rate] : unpacedRates) {
    std::printf("unpaced colour rate, maps %s: %.0f a second",
                shared ? "in shared memory" : "in messages", rate);
    if (copiesPerSecond > 0) std::printf(" (%.4f of the memcpy rate)", rate / copiesPerSecond);
    std::printf("\n");
  }
  if (unpacedRates.count(0) && unpacedRates.count(1) && unpacedRates[0] > 0) {
    std::printf("shared memory / messages: %.2f\n", unpacedRates[1] / unpacedRates[0]);
  }
  for (const auto& [key, byRate] : rateResults) {
    const auto& [buffers, shared] = key;
    int always = 0;
    int once = 0;
    for (const auto& [perSecond, runs] : byRate) {
      if (perSecond > 0 && runs.withoutDrops == runs.runs) always = perSecond;
      if (perSecond > 0 && runs.withoutDrops > 0) once = perSecond;
    }
    std::printf(
        "camera queue of %d, maps %s: highest colour rate without drops in every run: "
        "%d a second",
        buffers, shared ? "in shared memory" : "in messages", always);
    if (copiesPerSecond > 0) std::printf(" (%.4f of the memcpy rate)", always / copiesPerSecond);
    std::printf("; in at least one run: %d a second\n", once);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (isBenchClient(argc, argv)) return runBenchClient(argc, argv);
  // The heap as the service program sets it up; and one arena for every thread, so that the
  // service's thread allocates its messages as the service program's single thread does.
  keepSampleBlocksInHeap();
  mallopt(M_ARENA_MAX, 1);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  printSummary();
  return 0;
}
