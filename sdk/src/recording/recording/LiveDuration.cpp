#include "recording/LiveDuration.h"

extern "C" {
#include <libavutil/error.h>
}

#include <cstring>
#include <fstream>

namespace CamSdk {
namespace recording {

namespace {

// Matroska element IDs, marker bits kept.
constexpr std::uint32_t kEbmlHeader = 0x1A45DFA3;
constexpr std::uint32_t kSegment = 0x18538067;
constexpr std::uint32_t kSegmentInfo = 0x1549A966;
constexpr std::uint32_t kCrc32 = 0xBF;
constexpr std::uint32_t kVoid = 0xEC;
constexpr std::uint32_t kDuration = 0x4489;
// A Duration as FFmpeg writes it: 2 bytes of ID, 1 of size, an 8-byte float.
constexpr std::size_t kDurationBytes = 11;
// The header (up to the segment information) lies well within this.
constexpr std::size_t kHeaderBytes = 64 * 1024;

// Reads the element at `at` (its ID, and its content's size, which is "unknown" when all its
// bits are set) and moves `at` to its content; false when the bytes end first.
struct Element {
  std::uint32_t id = 0;
  std::uint64_t size = 0;
  bool unknownSize = false;
};
bool readElement(const std::vector<std::uint8_t>& bytes, std::size_t* at, Element* element) {
  std::size_t i = *at;
  if (i >= bytes.size()) return false;
  int idLength = 1;
  while (idLength <= 4 && (bytes[i] & (0x80 >> (idLength - 1))) == 0) ++idLength;
  if (idLength > 4 || bytes.size() - i < static_cast<std::size_t>(idLength)) return false;
  element->id = 0;
  for (int k = 0; k < idLength; ++k) element->id = (element->id << 8) | bytes[i++];
  if (i >= bytes.size() || bytes[i] == 0) return false;
  int sizeLength = 1;
  while ((bytes[i] & (0x80 >> (sizeLength - 1))) == 0) ++sizeLength;
  if (bytes.size() - i < static_cast<std::size_t>(sizeLength)) return false;
  std::uint64_t size = bytes[i++] & (0xFFu >> sizeLength);
  std::uint64_t allOnes = 0xFFu >> sizeLength;
  for (int k = 1; k < sizeLength; ++k) {
    size = (size << 8) | bytes[i++];
    allOnes = (allOnes << 8) | 0xFF;
  }
  element->unknownSize = size == allOnes;
  element->size = size;
  *at = i;
  return true;
}

}  // namespace

LiveDuration LiveDuration::find(const std::string& path) {
  LiveDuration found;
  std::ifstream in(path, std::ios::binary);
  std::vector<std::uint8_t> bytes(kHeaderBytes);
  in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));

  std::size_t at = 0;
  Element element;
  if (!readElement(bytes, &at, &element) || element.id != kEbmlHeader || element.unknownSize ||
      element.size > bytes.size() - at) {
    return found;
  }
  at += static_cast<std::size_t>(element.size);
  if (!readElement(bytes, &at, &element) || element.id != kSegment) return found;
  // The segment's children up to its information; each has a known size in FFmpeg's header.
  for (;;) {
    if (!readElement(bytes, &at, &element) || element.unknownSize ||
        element.size > bytes.size() - at) {
      return found;
    }
    if (element.id == kSegmentInfo) break;
    at += static_cast<std::size_t>(element.size);
  }
  const std::size_t start = at;
  const std::size_t end = at + static_cast<std::size_t>(element.size);
  std::vector<std::uint8_t> info(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(end));
  std::size_t durationAt = kNone;
  at = 0;
  while (at < info.size()) {
    const std::size_t elementAt = at;
    if (!readElement(info, &at, &element) || element.unknownSize ||
        element.size > info.size() - at) {
      return found;
    }
    const std::size_t length = at - elementAt + static_cast<std::size_t>(element.size);
    // FFmpeg checksums the segment information only when it closes the file; a checksum here
    // would no longer fit once the duration changed.
    if (element.id == kCrc32) return found;
    if ((element.id == kVoid || element.id == kDuration) && length == kDurationBytes) {
      durationAt = elementAt;
    }
    at += static_cast<std::size_t>(element.size);
  }
  if (durationAt == kNone) return found;
  found.dataStart_ = static_cast<std::int64_t>(start);
  found.data_ = std::move(info);
  found.durationAt_ = durationAt;
  return found;
}

int LiveDuration::update(AVIOContext* output, double ticks) {
  if (!usable()) return 0;
  std::uint8_t* duration = data_.data() + durationAt_;
  duration[0] = 0x44;
  duration[1] = 0x89;
  duration[2] = 0x80 | 8;
  std::uint64_t bits = 0;
  static_assert(sizeof bits == sizeof ticks, "a double is 8 bytes");
  std::memcpy(&bits, &ticks, sizeof bits);
  for (int i = 0; i < 8; ++i) duration[3 + i] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  const std::int64_t end = avio_tell(output);
  std::int64_t code = avio_seek(output, dataStart_, SEEK_SET);
  if (code < 0) return static_cast<int>(code);
  avio_write(output, data_.data(), static_cast<int>(data_.size()));
  code = avio_seek(output, end, SEEK_SET);
  if (code < 0) return static_cast<int>(code);
  avio_flush(output);
  return output->error;
}

}  // namespace recording
}  // namespace CamSdk
