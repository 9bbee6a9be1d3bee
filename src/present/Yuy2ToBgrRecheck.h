// The groups a row's integer fast path could not prove (see Yuy2ToBgrScaledSums.h), converted
// again by the rule.
//
// Few groups are flagged (3 in 1,000 on the simulated scene, 15 on random bytes), but converting
// each on the spot would put a branch that no predictor learns into the middle of the wide
// loop. So the loop only notes where the flagged groups are, without branching, and they are
// converted in batches: their four bytes are gathered into a short row of their own, the row's
// exact kernel converts it, and each group's six bytes go back to their place.
//
// Everything here has internal linkage on purpose: each SIMD row file gets its own copy, built
// with its own instruction set, so no code built for a wider set can end up shared with a row
// that runs on a narrower one.
#pragma once

#include <cstdint>
#include <cstring>

#include "present/Yuy2ToBgrRows.h"

namespace yuy2 {
namespace {

// The index of the lowest set bit of a non-zero `bits`.
inline int lowestBit(std::uint32_t bits) {
#if defined(__GNUC__) || defined(__clang__)
  return __builtin_ctz(bits);
#else
  int index = 0;
  while ((bits & 1u) == 0) {
    bits >>= 1;
    ++index;
  }
  return index;
#endif
}

// `convertExactly` is a row kernel that computes the rule itself; `kGroupsPerStep` is the
// number of groups behind one step's flags (at most 32).
template <RowKernel convertExactly, int kGroupsPerStep>
class RecheckedGroups {
 public:
  // `yuy2Row` and `bgrRow` are where the row starts; notes count groups from there.
  RecheckedGroups(const std::uint8_t* yuy2Row, std::uint8_t* bgrRow)
      : yuy2Row_(yuy2Row), bgrRow_(bgrRow) {}

  // Notes the groups of one step whose bits are set in `flagged`: bit i stands for the row's
  // group firstGroup + i. Call only after the step's fast bytes are stored.
  void note(int firstGroup, std::uint32_t flagged) {
    // One 64-bit store: a store of an int could alias steps_ and keep it out of a register.
    notes_[steps_] =
        static_cast<std::uint64_t>(flagged) << 32 | static_cast<std::uint32_t>(firstGroup);
    steps_ += flagged != 0 ? 1 : 0;
    if (steps_ == kSteps) convertNoted();
  }

  // Converts every noted group by the rule, overwriting the fast path's bytes.
  void convertNoted() {
    if (steps_ == 0) return;
    int count = 0;
    for (int step = 0; step < steps_; ++step) {
      const int firstGroup = static_cast<int>(notes_[step] & 0xffffffffu);
      for (auto flagged = static_cast<std::uint32_t>(notes_[step] >> 32); flagged != 0;
           flagged &= flagged - 1) {
        const int group = firstGroup + lowestBit(flagged);
        std::memcpy(groups_ + 4 * count, yuy2Row_ + 4 * static_cast<long>(group), 4);
        where_[count++] = group;
      }
    }
    convertExactly(groups_, pixels_, 2 * count);
    for (int i = 0; i < count; ++i) {
      std::memcpy(bgrRow_ + 6 * static_cast<long>(where_[i]), pixels_ + 6 * i, 6);
    }
    steps_ = 0;
  }

 private:
  static constexpr int kSteps = 32;
  static constexpr int kGroups = kSteps * kGroupsPerStep;
  static_assert(kGroupsPerStep <= 32, "one step's flags fit 32 bits");

  const std::uint8_t* yuy2Row_;
  std::uint8_t* bgrRow_;
  int steps_ = 0;
  // The first group of a step in the low half, its flags in the high half.
  std::uint64_t notes_[kSteps];
  int where_[kGroups];
  std::uint8_t groups_[4 * kGroups];
  std::uint8_t pixels_[6 * kGroups];
};

// A whole row through a fast step: `convertStep(yuy2, bgr)` converts kPixelsPerStep pixels and
// returns the bits of the groups it could not prove. Two steps share one note, whose
// bookkeeping would otherwise cost a sixth of a step; the noted groups go to `convertExactly`,
// and the last pixels of the row, fewer than a step, to the reference row.
template <RowKernel convertExactly, int kPixelsPerStep, typename FastStep>
inline void convertRowWithRecheck(const std::uint8_t* yuy2, std::uint8_t* bgr, int width,
                                  const FastStep& convertStep) {
  constexpr int kGroupsPerStep = kPixelsPerStep / 2;
  RecheckedGroups<convertExactly, 2 * kGroupsPerStep> rechecked(yuy2, bgr);
  int x = 0;
  for (; x + 2 * kPixelsPerStep <= width; x += 2 * kPixelsPerStep) {
    const std::uint32_t first = convertStep(yuy2 + 2 * x, bgr + 3 * x);
    const std::uint32_t second =
        convertStep(yuy2 + 2 * (x + kPixelsPerStep), bgr + 3 * (x + kPixelsPerStep));
    rechecked.note(x / 2, first | second << kGroupsPerStep);
  }
  if (x + kPixelsPerStep <= width) {
    rechecked.note(x / 2, convertStep(yuy2 + 2 * x, bgr + 3 * x));
    x += kPixelsPerStep;
  }
  rechecked.convertNoted();
  if (x < width) convertRowReference(yuy2 + 2 * x, bgr + 3 * x, width - x);
}

}  // namespace
}  // namespace yuy2
