// How a recording stores colour. Every choice is lossless: playback gives back the bytes the
// camera sent. Ut Video is the default: it halves a camera's pictures with the noise of good
// light and shrinks flat ones eightfold for about 2 ms of one core a VGA picture (figures in
// RECORDINGS.md); FFV1 packs a little tighter at several times the cost; raw keeps the bytes as
// they came.
#pragma once

#include <string>

namespace CamSdk {
namespace recording {

enum class ColourCodec { Raw, UtVideo, Ffv1 };

inline constexpr ColourCodec kDefaultColourCodec = ColourCodec::UtVideo;

// "raw", "utvideo", "ffv1".
const char* colourCodecName(ColourCodec codec);
// False when `name` names none of them.
bool colourCodecNamed(const std::string& name, ColourCodec* codec);

}  // namespace recording
}  // namespace CamSdk
