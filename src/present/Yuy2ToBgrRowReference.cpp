#include "present/Yuy2ToBgrPixel.h"
#include "present/Yuy2ToBgrRows.h"

namespace yuy2 {

void convertRowReference(const std::uint8_t* yuy2, std::uint8_t* bgr, int width) {
  int x = 0;
  for (; x + 1 < width; x += 2) {
    convertPixel(yuy2[0], yuy2[1], yuy2[3], bgr);
    convertPixel(yuy2[2], yuy2[1], yuy2[3], bgr + 3);
    yuy2 += 4;
    bgr += 6;
  }
  if (x < width) convertPixel(yuy2[0], yuy2[1], yuy2[3], bgr);
}

}  // namespace yuy2
