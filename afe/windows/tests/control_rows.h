// The AFE device's control codes as a table: each code with an input and
// the output length it must come with (IOCTL_SET_EVENT aside), and a way to
// send one to a device.
#pragma once

#include <vector>

#include "afe/windows/tests/afe_rig.h"
#include "afe/windows/tests/bytes.h"

namespace afe::testing {

struct ControlRow {
  ULONG code;
  Bytes in;
  ULONG out;
};

inline const std::vector<ControlRow>& ControlRows() {
  static const std::vector<ControlRow> rows = {
      {0x460C4, {}, 0},
      {0x460C8, {}, 0},
      {0x460CC, {}, 4},
      {0x460D0, U32(48u << 16 | 8000), 0},
      {0x460E0, U32(2), 0},
      {0x460E4, U16(static_cast<USHORT>(-7)), 0},
      {0x460E8, {}, 2},
      {0x460EC, U16(3), 0},
      {0x460F0, {}, 2},
      {0x460F4, U32(1), 0},
      {0x460F8, U32(1), 0},
      {0x460FC, {}, 4},
      {0x46100, Cat({U32(96), U32(0x5A)}), 0},
      {0x46104, Cat({U32(96), U32(0)}), 8},
      {0x46108, U32(3), 0},
      {0x46110, {}, 556},
      {0x46114, {}, 0},
      {0x46160, Bytes(16, 0x3C), 16},
      {0x46168, {}, 224},
  };
  return rows;
}

// Sends `code` to `device` with `in` and an output of `out_length` bytes
// (filled with 0xEE beforehand), which `out` receives; on a kernel thread.
inline Reply SendControl(PDEVICE_OBJECT device, ULONG code, Bytes in, ULONG out_length,
                         Bytes* out = nullptr) {
  Bytes output(out_length, 0xEE);
  const Reply reply =
      ControlDevice(device, code, in.empty() ? nullptr : in.data(), static_cast<ULONG>(in.size()),
                    output.empty() ? nullptr : output.data(), out_length);
  if (out != nullptr) *out = output;
  return reply;
}

}  // namespace afe::testing
