// Handflow bits <-> communication DCB flags.
#include "layer2/corecode/mt/serial/handflow.h"

#include <array>

#include "layer2/corecode/mt/port/dcb_conversions.h"

namespace vxctl {
namespace {

struct BitPair {
  ULONG handflow;
  std::uint32_t comm;
};

constexpr std::array<BitPair, 6> kControlBits{{
    {SERIAL_DTR_CONTROL, kCommDtrEnable},
    {SERIAL_DTR_HANDSHAKE, kCommDtrHandshake},
    {SERIAL_CTS_HANDSHAKE, kCommCtsOutput},
    {SERIAL_DSR_HANDSHAKE, kCommDsrOutput},
    {SERIAL_DSR_SENSITIVITY, kCommDsrSensitivity},
    {SERIAL_ERROR_ABORT, kCommAbortOnError},
}};

constexpr std::array<BitPair, 5> kFlowBits{{
    {SERIAL_AUTO_TRANSMIT, kCommOutX},
    {SERIAL_AUTO_RECEIVE, kCommInX},
    {SERIAL_ERROR_CHAR, kCommErrorChar},
    {SERIAL_NULL_STRIPPING, kCommNullStrip},
    {SERIAL_XOFF_CONTINUE, kCommTxContinueOnXoff},
}};

// The RTS field: its values are the same two bits, shifted.
constexpr std::array<BitPair, 4> kRtsField{{
    {0, kCommRtsDisable},
    {SERIAL_RTS_CONTROL, kCommRtsEnable},
    {SERIAL_RTS_HANDSHAKE, kCommRtsHandshake},
    {SERIAL_TRANSMIT_TOGGLE, kCommRtsToggle},
}};

template <std::size_t N>
ULONG ToHandflow(const std::array<BitPair, N>& pairs, std::uint32_t flags) {
  ULONG bits = 0;
  for (const BitPair& p : pairs) {
    if ((flags & p.comm) != 0) bits |= p.handflow;
  }
  return bits;
}

template <std::size_t N>
std::uint32_t ToComm(const std::array<BitPair, N>& pairs, ULONG bits) {
  std::uint32_t flags = 0;
  for (const BitPair& p : pairs) {
    if ((bits & p.handflow) != 0) flags |= p.comm;
  }
  return flags;
}

}  // namespace

SERIAL_HANDFLOW handflow_from_dcb(const SerialDcb& dcb, ULONG last_control, ULONG last_flow) {
  const CommDcb comm = dcb_to_comm(dcb);
  SERIAL_HANDFLOW h{};
  h.ControlHandShake = ToHandflow(kControlBits, comm.flags) | (last_control & SERIAL_DCD_HANDSHAKE);
  h.FlowReplace = ToHandflow(kFlowBits, comm.flags) | (last_flow & SERIAL_BREAK_CHAR);
  for (const BitPair& p : kRtsField) {
    if ((comm.flags & kCommRtsControl) == p.comm) h.FlowReplace |= p.handflow;
  }
  h.XonLimit = comm.xon_limit;
  h.XoffLimit = comm.xoff_limit;
  return h;
}

void handflow_into_dcb(const SERIAL_HANDFLOW& handflow, SerialDcb& dcb) {
  CommDcb comm = dcb_to_comm(dcb);
  comm.flags = kCommBinary | ToComm(kControlBits, handflow.ControlHandShake) |
               ToComm(kFlowBits, handflow.FlowReplace);
  for (const BitPair& p : kRtsField) {
    if ((handflow.FlowReplace & SERIAL_RTS_MASK) == p.handflow) comm.flags |= p.comm;
  }
  comm.xon_limit = static_cast<std::uint16_t>(handflow.XonLimit);
  comm.xoff_limit = static_cast<std::uint16_t>(handflow.XoffLimit);
  dcb_from_comm(comm, dcb);
}

}  // namespace vxctl
