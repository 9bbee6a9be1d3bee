#include <sys/stat.h>

#include <fstream>
#include <stdexcept>

#include "transport/OwnerOnlyFile.h"

namespace CamSdk {
namespace transport {

void writeOwnerOnlyFile(const std::string& path, const std::string& text) {
  const mode_t previous = umask(077);
  std::ofstream file(path, std::ios::trunc);
  umask(previous);
  if (!file) throw std::runtime_error(path + ": cannot write the file");
  file << text;
  if (!file.flush()) throw std::runtime_error(path + ": write failed");
}

}  // namespace transport
}  // namespace CamSdk
