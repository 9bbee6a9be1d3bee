#include "sources/v4l2/CaptureDevices.h"

#include <algorithm>
#include <map>

#include "common/ConfigurationRules.h"
#include "sources/v4l2/DeviceSystem.h"

namespace CamSdk {
namespace v4l2 {

namespace {

// /dev/video2 before /dev/video10.
bool numberedBefore(const std::string& a, const std::string& b) {
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

}  // namespace

CaptureDevices::CaptureDevices(std::shared_ptr<DeviceSystem> system, detail::Service& service,
                               LogFunction log)
    : system_(std::move(system)), service_(service), log_(std::move(log)) {}

void CaptureDevices::log(int level, const std::string& line) const {
  if (log_) log_(level, line);
}

void CaptureDevices::findCameras() {
  if (system_->watchDescriptor() < 0) {
    log(1, "no udev monitor: cameras plugged in from now on will not be seen");
  }
  std::vector<std::string> paths = system_->videoDevices();
  if (paths.empty()) log(1, "no video devices found");
  addFiles(paths);
}

void CaptureDevices::addFiles(const std::vector<std::string>& unsorted) {
  std::vector<std::string> paths = unsorted;
  std::sort(paths.begin(), paths.end(), numberedBefore);
  // The files of one camera share its bus: one group, one SDK device.
  std::vector<std::string> buses;
  std::map<std::string, std::vector<ProbedFile>> groups;
  for (const std::string& path : paths) {
    const bool known = std::any_of(cameras_.begin(), cameras_.end(), [&](const Camera& c) {
      return std::any_of(c.members.begin(), c.members.end(),
                         [&](const Member& m) { return m.path == path; });
    });
    if (known) continue;
    ProbedFile file = probeFile(*system_, path);
    const std::string bus = file.busInfo.empty() ? path : file.busInfo;
    if (!groups.count(bus)) buses.push_back(bus);
    groups[bus].push_back(std::move(file));
  }
  for (const std::string& bus : buses) {
    std::vector<ProbedFile>& files = groups[bus];
    std::vector<const ProbedFile*> usable;
    std::string problems;
    for (const ProbedFile& file : files) {
      if (file.capture && file.problem.empty()) {
        usable.push_back(&file);
      } else if (!file.problem.empty()) {
        problems += "; " + file.path + " " + file.problem;
      } else {
        log(2, file.path + " is not a video capture file (metadata or output): left alone");
      }
    }
    const std::string card = files.front().card.empty() ? "a camera" : files.front().card;
    if (usable.empty()) {
      if (!problems.empty()) log(1, card + " at " + bus + " is skipped" + problems);
      continue;
    }
    if (!problems.empty()) log(1, card + " at " + bus + ": some files are left out" + problems);
    auto camera = std::find_if(cameras_.begin(), cameras_.end(),
                               [&](const Camera& c) { return c.busInfo == bus; });
    if (camera == cameras_.end()) {
      std::vector<detail::Service::SourcedNode> nodes;
      std::vector<Member> members;
      for (const ProbedFile* file : usable) {
        auto source = std::make_unique<CaptureNode>(system_, service_.clock(), *file, log_);
        members.push_back(Member{file->path, source.get()});
        nodes.push_back(detail::Service::SourcedNode{file->profile.kind, std::move(source)});
      }
      const std::string name = usable.front()->card + " (" + bus + ")";
      const detail::DeviceId device = service_.addDevice(name, std::move(nodes));
      cameras_.push_back(Camera{bus, device, members});
      const std::vector<detail::NodeId> ids = service_.pluggedNodesOf(device);
      for (std::size_t i = 0; i < ids.size() && i < members.size(); ++i) {
        setDefaults(ids[i], *members[i].source);
      }
      log(1, "camera " + name + " added");
      continue;
    }
    for (const ProbedFile* file : usable) addMember(*camera, *file);
  }
}

void CaptureDevices::setDefaults(detail::NodeId node, const CaptureNode& source) {
  if (source.file().profile.kind == NodeKind::Depth) {
    DepthNode::Configuration configuration = detail::defaultConfiguration<DepthNode>();
    configuration.frameFormat = source.frameFormat();
    configuration.framerate = source.framerate();
    service_.setDefaultConfiguration(node, configuration);
  } else {
    ColorNode::Configuration configuration = detail::defaultConfiguration<ColorNode>();
    configuration.frameFormat = source.frameFormat();
    configuration.framerate = source.framerate();
    service_.setDefaultConfiguration(node, configuration);
  }
}

void CaptureDevices::addMember(Camera& camera, const ProbedFile& file) {
  auto source = std::make_unique<CaptureNode>(system_, service_.clock(), file, log_);
  CaptureNode* added = source.get();
  const detail::NodeId node = service_.addNode(camera.device, file.profile.kind, std::move(source));
  camera.members.push_back(Member{file.path, added});
  setDefaults(node, *added);
  log(1, file.path + " joins the camera at " + camera.busInfo);
}

void CaptureDevices::fileRemoved(const std::string& path) {
  for (std::size_t i = 0; i < cameras_.size(); ++i) {
    for (const Member& member : cameras_[i].members) {
      if (member.path == path) {
        lose(i, path + " was unplugged");
        return;
      }
    }
  }
}

void CaptureDevices::lose(std::size_t index, const std::string& why) {
  Camera camera = std::move(cameras_[index]);
  cameras_.erase(cameras_.begin() + static_cast<std::ptrdiff_t>(index));
  for (const Member& member : camera.members) member.source->shutdown();
  service_.unplugDevice(camera.device);
  log(1, "camera at " + camera.busInfo + " removed: " + why);
}

std::vector<int> CaptureDevices::descriptors() const {
  std::vector<int> descriptors;
  if (system_->watchDescriptor() >= 0) descriptors.push_back(system_->watchDescriptor());
  for (const Camera& camera : cameras_) {
    for (const Member& member : camera.members) {
      if (member.source->descriptor() >= 0) descriptors.push_back(member.source->descriptor());
    }
  }
  return descriptors;
}

void CaptureDevices::pump() {
  for (const DeviceEvent& event : system_->readDeviceEvents()) {
    if (event.action == DeviceEvent::Action::Added) {
      addFiles({event.path});
    } else {
      fileRemoved(event.path);
    }
  }
  for (std::size_t i = 0; i < cameras_.size();) {
    std::string failure;
    for (const Member& member : cameras_[i].members) {
      if (!member.source->collect()) {
        failure = member.source->failure();
        break;
      }
    }
    if (failure.empty()) {
      ++i;
    } else {
      lose(i, failure);
    }
  }
}

}  // namespace v4l2
}  // namespace CamSdk
