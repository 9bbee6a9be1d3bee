// The device and node lists the viewer walks are copies of the SDK's own lists. A wrong copy
// loop reads past a shrinking list, trusts a negative size, hands back half a list after a
// failure, or leaves elements tied to the SDK list; these tests catch each of those.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "camera/CameraSdk.h"
#include "camsdk/testing/Scenario.h"

namespace {

using CamSdk::List;
using CamSdk::ListStorage;

// An element that counts how many of it are alive and how often it was copied.
struct Tracked {
  static int alive;
  static int copies;
  int value = 0;
  explicit Tracked(int v) : value(v) { ++alive; }
  Tracked(const Tracked& other) : value(other.value) {
    ++alive;
    ++copies;
  }
  Tracked(Tracked&& other) noexcept : value(other.value) { ++alive; }
  Tracked& operator=(const Tracked&) = default;
  ~Tracked() { --alive; }
};
int Tracked::alive = 0;
int Tracked::copies = 0;

// A storage that logs every question it is asked and can shrink or fail on demand.
class ScriptedStorage : public ListStorage<Tracked> {
 public:
  explicit ScriptedStorage(std::vector<int> sizes, int failAt = -1)
      : sizes_(std::move(sizes)), failAt_(failAt) {
    for (int i = 0; i < 3; ++i) items_.emplace_back(10 + i);
  }
  int size() const override {
    log.push_back("size");
    const std::size_t asked = sizeCalls_++;
    return sizes_[asked < sizes_.size() ? asked : sizes_.size() - 1];
  }
  const Tracked& at(int index) const override {
    log.push_back("at" + std::to_string(index));
    if (index == failAt_) throw std::runtime_error("storage failed");
    return items_.at(static_cast<std::size_t>(index));
  }

  mutable std::vector<std::string> log;

 private:
  std::vector<int> sizes_;
  int failAt_;
  std::vector<Tracked> items_;
  mutable std::size_t sizeCalls_ = 0;
};

std::vector<int> valuesOf(const std::vector<Tracked>& items) {
  std::vector<int> values;
  for (const Tracked& item : items) values.push_back(item.value);
  return values;
}

class ListConversionTest : public testing::Test {
 protected:
  void SetUp() override { Tracked::copies = 0; }
};

TEST_F(ListConversionTest, EmptyAndNegativeSizedListsGiveEmptyVectors) {
  EXPECT_TRUE(List<Tracked>().toStdVector().empty());

  auto negative = std::make_shared<ScriptedStorage>(std::vector<int>{-2});
  EXPECT_TRUE(List<Tracked>(negative).toStdVector().empty());
  EXPECT_EQ(negative->log, (std::vector<std::string>{"size"}));
}

TEST_F(ListConversionTest, CopiesEachElementOnceInIndexOrderAskingSizeEveryTime) {
  auto storage = std::make_shared<ScriptedStorage>(std::vector<int>{3});
  EXPECT_EQ(valuesOf(List<Tracked>(storage).toStdVector()), (std::vector<int>{10, 11, 12}));
  EXPECT_EQ(Tracked::copies, 3);
  EXPECT_EQ(storage->log,
            (std::vector<std::string>{"size", "at0", "size", "at1", "size", "at2", "size"}));

  // A list that shrinks while it is copied is not read past its new end.
  auto shrinking = std::make_shared<ScriptedStorage>(std::vector<int>{3, 1});
  EXPECT_EQ(valuesOf(List<Tracked>(shrinking).toStdVector()), (std::vector<int>{10}));
}

TEST_F(ListConversionTest, FailureMidCopyPassesOutAndReleasesThePartialCopy) {
  auto storage = std::make_shared<ScriptedStorage>(std::vector<int>{3}, /*failAt=*/2);
  const int aliveBefore = Tracked::alive;
  std::vector<Tracked> result{Tracked(99)};
  Tracked::copies = 0;

  EXPECT_THROW(result = List<Tracked>(storage).toStdVector(), std::runtime_error);

  EXPECT_EQ(valuesOf(result), (std::vector<int>{99}));
  EXPECT_EQ(Tracked::alive, aliveBefore + 1);
  EXPECT_EQ(Tracked::copies, 2);
}

// The real SDK's lists: the handles in the vector stay usable once the SDK list is gone.
class SdkListTest : public testing::Test {
 protected:
  CamSdk::testing::Scenario scenario = CamSdk::testing::Scenario::fresh();
  CamSdk::Context context = CamSdk::Context::create("localhost");
};

TEST_F(SdkListTest, NodeAndDeviceHandlesOutliveTheSdkList) {
  const std::vector<CamSdk::Device> devices = context.listDevices();
  ASSERT_EQ(devices.size(), 1u);
  EXPECT_EQ(devices[0].name(), "camera0");

  const std::vector<CamSdk::Node> nodes = devices[0].listNodes();
  ASSERT_EQ(nodes.size(), 3u);
  EXPECT_EQ(nodes[0].name(), "depth0");
  EXPECT_EQ(nodes[1].name(), "color0");
  EXPECT_EQ(nodes[2].name(), "audio0");
  EXPECT_TRUE(nodes[1].is<CamSdk::ColorNode>());

  const CamSdk::List<CamSdk::Node> fresh = devices[0]._p_getNodes();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(nodes[static_cast<std::size_t>(i)], fresh[i]);
}

TEST_F(SdkListTest, FailureToGetTheListPassesToTheCaller) {
  scenario.failNext(CamSdk::testing::SdkOperation::ContextGetDevices, CamSdk::ExceptionKind::IO, 1,
                    "service gone");
  EXPECT_THROW(context.listDevices(), CamSdk::IOException);
  scenario.failNext(CamSdk::testing::SdkOperation::DeviceGetNodes,
                    CamSdk::ExceptionKind::Streaming);
  const std::vector<CamSdk::Device> devices = context.listDevices();
  ASSERT_FALSE(devices.empty());
  EXPECT_THROW(devices[0].listNodes(), CamSdk::StreamingException);
}

}  // namespace
