#include <windows.h>

#include "client/ProcessLabel.h"

namespace CamSdk {
namespace detail {

std::string processLabel() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name(path, length < MAX_PATH ? length : 0);
  name = name.substr(name.find_last_of("\\/") + 1);
  const std::string suffix = ".exe";
  if (name.size() > suffix.size() &&
      _stricmp(name.c_str() + name.size() - suffix.size(), suffix.c_str()) == 0) {
    name.resize(name.size() - suffix.size());
  }
  if (name.empty()) name = "a client";
  return name + " (process " + std::to_string(GetCurrentProcessId()) + ")";
}

}  // namespace detail
}  // namespace CamSdk
