// The mode numbers of a call (connect byte 1 bits 0-4): the procedure or
// modulation the controller asks for. The numbers between them are unused.
#pragma once

#include <cstdint>

namespace pump {

enum ModeNumber : std::int32_t {
  kModeBell103 = 0,
  kModeB212 = 1,  // 1200 bit/s, run by the V.22 modem
  kModeV21 = 2,
  kModeFaxV21 = 3,
  kModeV23 = 4,
  kModeV23OneWay = 5,
  kModeV22 = 6,
  kModeV22bis = 7,
  kModeV32 = 12,
  kModeV32bis = 16,
  kModeV34 = 17,
  kModeV34Option = 18,
  kModeV34HalfDuplex = 19,
  kModeV90 = 23,
  kModeV92 = 24,
};

}  // namespace pump
