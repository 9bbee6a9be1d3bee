#include "recording/ColourCodec.h"

namespace CamSdk {
namespace recording {

namespace {
constexpr ColourCodec kAll[] = {ColourCodec::Raw, ColourCodec::UtVideo, ColourCodec::Ffv1};
}

const char* colourCodecName(ColourCodec codec) {
  switch (codec) {
    case ColourCodec::Raw:
      return "raw";
    case ColourCodec::UtVideo:
      return "utvideo";
    case ColourCodec::Ffv1:
      return "ffv1";
  }
  return "raw";
}

bool colourCodecNamed(const std::string& name, ColourCodec* codec) {
  for (ColourCodec candidate : kAll) {
    if (name == colourCodecName(candidate)) {
      *codec = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace recording
}  // namespace CamSdk
