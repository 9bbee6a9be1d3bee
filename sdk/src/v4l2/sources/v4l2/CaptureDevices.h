// The service's Video4Linux2 cameras: finds the capture device files, groups the files of one
// physical camera (the same bus) into one SDK device with a node per usable file, follows
// cameras plugged and unplugged, and takes a camera away when its driver fails mid-stream.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "service/Service.h"
#include "sources/v4l2/CaptureNode.h"

namespace CamSdk {
namespace v4l2 {

class CaptureDevices final : public detail::LiveSource {
 public:
  CaptureDevices(std::shared_ptr<DeviceSystem> system, detail::Service& service, LogFunction log);

  // Adds the cameras present now to the service.
  void findCameras();

  std::vector<int> descriptors() const override;
  void pump() override;

 private:
  struct Member {
    std::string path;
    CaptureNode* source;  // owned by the service's node
  };
  struct Camera {
    std::string busInfo;
    detail::DeviceId device;
    std::vector<Member> members;
  };

  void addFiles(const std::vector<std::string>& paths);
  void addMember(Camera& camera, const ProbedFile& file);
  void setDefaults(detail::NodeId node, const CaptureNode& source);
  void fileRemoved(const std::string& path);
  // The camera has gone: its nodes and device leave the service, its files are closed.
  void lose(std::size_t camera, const std::string& why);
  void log(int level, const std::string& line) const;

  std::shared_ptr<DeviceSystem> system_;
  detail::Service& service_;
  LogFunction log_;
  std::vector<Camera> cameras_;  // the cameras plugged now
};

}  // namespace v4l2
}  // namespace CamSdk
