#include "layer2/corecode/mt/port/dcb_conversions.h"

#include <span>

namespace vxctl {
namespace {

struct FlagPair {
  std::uint32_t dcb;
  std::uint32_t comm;
};

constexpr FlagPair kFlags[] = {
    {kDcbBinary, kCommBinary},
    {kDcbParityCheck, kCommParityCheck},
    {kDcbCtsOutput, kCommCtsOutput},
    {kDcbDsrOutput, kCommDsrOutput},
    {kDcbOutX, kCommOutX},
    {kDcbInX, kCommInX},
    {kDcbErrorChar, kCommErrorChar},
    {kDcbNullStrip, kCommNullStrip},
    {kDcbDsrSensitivity, kCommDsrSensitivity},
    {kDcbTxContinueOnXoff, kCommTxContinueOnXoff},
    {kDcbAbortOnError, kCommAbortOnError},
};

// The control fields: toward the CommDcb the first flag present decides;
// none gives the field 0 (disable).
constexpr FlagPair kDtrControl[] = {
    {kDcbDtrDisable, kCommDtrDisable},
    {kDcbDtrHandshake, kCommDtrHandshake},
    {kDcbDtrEnable, kCommDtrEnable},
};
constexpr FlagPair kRtsControl[] = {
    {kDcbRtsDisable, kCommRtsDisable},
    {kDcbRtsHandshake, kCommRtsHandshake},
    {kDcbRtsToggle, kCommRtsToggle},
    {kDcbRtsEnable, kCommRtsEnable},
};

std::uint32_t ControlToComm(std::uint32_t flags, std::span<const FlagPair> control) {
  for (const FlagPair& pair : control) {
    if ((flags & pair.dcb) != 0) return pair.comm;
  }
  return 0;
}

std::uint32_t ControlFromComm(std::uint32_t field, std::span<const FlagPair> control) {
  for (const FlagPair& pair : control) {
    if (field == pair.comm) return pair.dcb;
  }
  return 0;
}

}  // namespace

CommDcb dcb_to_comm(const SerialDcb& dcb) {
  std::uint32_t flags = ControlToComm(dcb.flags, kDtrControl) | ControlToComm(dcb.flags, kRtsControl);
  for (const FlagPair& pair : kFlags) {
    if ((dcb.flags & pair.dcb) != 0) flags |= pair.comm;
  }
  return CommDcb{
      .length = sizeof(CommDcb),
      .baud = dcb.baud,
      .flags = flags,
      .reserved = 0,
      .xon_limit = static_cast<std::uint16_t>(dcb.xon_limit),
      .xoff_limit = static_cast<std::uint16_t>(dcb.xoff_limit),
      .byte_size = dcb.byte_size,
      .parity = dcb.parity,
      .stop_bits = dcb.stop_bits,
      .xon_char = dcb.xon_char,
      .xoff_char = dcb.xoff_char,
      .error_char = dcb.error_char,
      .eof_char = dcb.eof_char,
      .event_char = dcb.event_char1,
      .reserved2 = 0,
  };
}

void dcb_from_comm(const CommDcb& comm, SerialDcb& dcb) {
  std::uint32_t flags = ControlFromComm(comm.flags & kCommDtrControl, kDtrControl) |
                        ControlFromComm(comm.flags & kCommRtsControl, kRtsControl);
  for (const FlagPair& pair : kFlags) {
    if ((comm.flags & pair.comm) != 0) flags |= pair.dcb;
  }
  dcb.length = sizeof(SerialDcb);
  dcb.baud = comm.baud;
  dcb.flags = flags;
  dcb.xon_limit = comm.xon_limit;
  dcb.xoff_limit = comm.xoff_limit;
  dcb.byte_size = comm.byte_size;
  dcb.parity = comm.parity;
  dcb.stop_bits = comm.stop_bits;
  dcb.xon_char = comm.xon_char;
  dcb.xoff_char = comm.xoff_char;
  dcb.error_char = comm.error_char;
  dcb.eof_char = comm.eof_char;
  dcb.event_char1 = comm.event_char;
  dcb.event_char2 = 0;
  dcb.reserved2[0] = 0;
  dcb.reserved2[1] = 0;
}

}  // namespace vxctl
