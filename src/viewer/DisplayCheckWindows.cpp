#include <windows.h>

#include <string>

#include "viewer/DisplayCheck.h"

// Windows shows windows only on an interactive window station: a program started as a service
// or from a remote shell without a desktop gets a station nobody sees, where the windows would
// open unseen and the viewer would claim the camera for no one.
std::string whyNoDisplay() {
  USEROBJECTFLAGS flags{};
  const HWINSTA station = GetProcessWindowStation();
  if (station != nullptr &&
      GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
      (flags.dwFlags & WSF_VISIBLE) == 0) {
    return "this process runs on a window station that is not shown (a service or a remote "
           "shell without a desktop)";
  }
  if (GetSystemMetrics(SM_CXSCREEN) <= 0) return "Windows reports no screen";
  return {};
}
