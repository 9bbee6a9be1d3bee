// Arbitrary text through the scenario file reader, then a context's event loop on the service it
// shaped, so that timed lines run too. The reader may refuse a file, and the service may refuse
// what a line asks, but only ever with one of the SDK's own exceptions; the loop must end (on
// the virtual clock a loop with nothing left raises TimeoutException) and leave nothing behind.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "camera/CameraSdk.h"
#include "camsdk/testing/Scenario.h"
#include "common/EventAccess.h"

namespace {

using CamSdk::testing::Scenario;

constexpr const char* kHost = "scenario-fuzz";

// Runs every timed line the file scheduled. Nothing is registered, so no sample keeps the loop
// busy; the hot-plug events the lines raise reach handlers, which check that each names its
// device.
void runTimedLines() {
  CamSdk::Context context = CamSdk::Context::create(kHost);
  context.deviceAddedEvent().connectFunction(
      [](CamSdk::Context, CamSdk::Context::DeviceAddedData data) {
        FUZZ_CHECK(data.device.isSet());
      });
  context.deviceRemovedEvent().connectFunction(
      [](CamSdk::Context, CamSdk::Context::DeviceRemovedData data) {
        FUZZ_CHECK(data.device.isSet());
      });
  context.startNodes();
  context.run();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t length) {
  const long handlersBefore = CamSdk::detail::EventAccess::liveHandlers();
  {
    Scenario scenario = Scenario::fresh(CamSdk::testing::Topology::OneCamera, true, kHost);
    const std::string text(reinterpret_cast<const char*>(bytes), length);
    try {
      applyScenarioText(scenario, text, "fuzz.txt");
    } catch (const CamSdk::ArgumentException& refused) {
      // A refused file names itself and the line.
      FUZZ_CHECK(std::string(refused.what()).rfind("fuzz.txt:", 0) == 0);
      return 0;
    } catch (const CamSdk::Exception&) {
      // The service refused what a well-formed line asked.
    }
    try {
      runTimedLines();
    } catch (const CamSdk::Exception&) {
      // A timed line that names something unknown, a fault it armed, the service going down, or
      // the loop running out of events: all reported as SDK exceptions.
    }
    FUZZ_CHECK(scenario.liveBuffers() == 0);
  }
  FUZZ_CHECK(CamSdk::detail::EventAccess::liveHandlers() == handlersBefore);
  return 0;
}
