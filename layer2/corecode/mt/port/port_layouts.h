// The port's records as the port functions and the serial requests carry
// them, packed field by field: the port's device control block (SerialDcb,
// 51 bytes), the communication DCB (CommDcb, 28) inside the communication
// configuration (CommConfig, 48), the properties record (CommProperties,
// 62) and the queue status (QueueStatus, 12). Flag and mask bits beside
// each.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vxctl {

#pragma pack(push, 1)

// The port's settings. Characters are compared as unsigned 8-bit values.
struct SerialDcb {
  std::uint32_t length;  // 51
  std::uint32_t baud;    // as requested; the line runs at port_baud_map of it
  std::uint32_t flags;   // kDcb...
  std::uint32_t xon_limit;
  std::uint32_t xoff_limit;  // the read queue stops the controller at size - xoff_limit
  std::uint32_t reserved;
  std::uint8_t byte_size;  // 5..8
  std::uint8_t parity;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t stop_bits;  // 0 one, 1 one and a half, 2 two
  std::uint8_t xon_char;
  std::uint8_t xoff_char;
  std::uint8_t error_char;
  std::uint8_t eof_char;
  std::uint8_t event_char1;
  std::uint8_t event_char2;
  std::uint8_t reserved2[2];
  std::uint32_t dcd_timeout;  // ms
  std::uint32_t cts_timeout;  // ms
  std::uint32_t dsr_timeout;  // ms
  std::uint32_t transmit_delay;
};

// The communication DCB of the configuration requests.
struct CommDcb {
  std::uint32_t length;  // 28
  std::uint32_t baud;
  std::uint32_t flags;  // kComm...
  std::uint16_t reserved;
  std::uint16_t xon_limit;
  std::uint16_t xoff_limit;
  std::uint8_t byte_size;
  std::uint8_t parity;
  std::uint8_t stop_bits;
  std::uint8_t xon_char;
  std::uint8_t xoff_char;
  std::uint8_t error_char;
  std::uint8_t eof_char;
  std::uint8_t event_char;
  std::uint16_t reserved2;
};

struct CommConfig {
  std::uint32_t size;     // 48
  std::uint16_t version;  // 0x100
  std::uint16_t reserved;
  CommDcb dcb;
  std::uint32_t provider_subtype;  // 1
  std::uint32_t provider_offset;
  std::uint32_t provider_size;
};

struct CommProperties {
  std::uint16_t length;  // 62
  std::uint16_t version;
  std::uint32_t service_mask;
  std::uint32_t reserved;
  std::uint32_t max_tx_queue;
  std::uint32_t max_rx_queue;
  std::uint32_t max_baud;
  std::uint32_t provider_subtype;
  std::uint32_t capabilities;
  std::uint32_t settable_params;
  std::uint32_t settable_baud;
  std::uint16_t settable_data;
  std::uint16_t settable_stop_parity;
  std::uint32_t current_tx_queue;  // the write queue's size
  std::uint32_t current_rx_queue;  // the read queue's size
  std::uint32_t provider_spec1;
  std::uint32_t provider_spec2;
  std::uint16_t provider_char;
};

struct QueueStatus {
  std::uint32_t flags;     // kQueue...
  std::uint32_t rx_count;  // bytes in the read queue
  std::uint32_t tx_count;  // bytes in the write queue
};

#pragma pack(pop)

static_assert(sizeof(SerialDcb) == 51);
static_assert(sizeof(CommDcb) == 28);
static_assert(sizeof(CommConfig) == 48);
static_assert(sizeof(CommProperties) == 62);
static_assert(sizeof(QueueStatus) == 12);
static_assert(offsetof(SerialDcb, byte_size) == 24 && offsetof(SerialDcb, dcd_timeout) == 35);
static_assert(offsetof(CommDcb, xon_limit) == 14 && offsetof(CommDcb, byte_size) == 18);
static_assert(offsetof(CommConfig, dcb) == 8 && offsetof(CommConfig, provider_subtype) == 36);
static_assert(offsetof(CommProperties, current_tx_queue) == 44);

// SerialDcb flags.
inline constexpr std::uint32_t kDcbBinary = 0x00000001;
inline constexpr std::uint32_t kDcbRtsDisable = 0x00000002;
inline constexpr std::uint32_t kDcbParityCheck = 0x00000004;
inline constexpr std::uint32_t kDcbCtsOutput = 0x00000008;
inline constexpr std::uint32_t kDcbDsrOutput = 0x00000010;
inline constexpr std::uint32_t kDcbDtrDisable = 0x00000080;
inline constexpr std::uint32_t kDcbOutX = 0x00000100;  // output XON/XOFF
inline constexpr std::uint32_t kDcbInX = 0x00000200;   // input XON/XOFF
inline constexpr std::uint32_t kDcbErrorChar = 0x00000400;
inline constexpr std::uint32_t kDcbNullStrip = 0x00000800;
inline constexpr std::uint32_t kDcbDtrHandshake = 0x00002000;
inline constexpr std::uint32_t kDcbRtsHandshake = 0x00004000;
inline constexpr std::uint32_t kDcbDsrSensitivity = 0x00010000;
inline constexpr std::uint32_t kDcbTxContinueOnXoff = 0x00020000;
inline constexpr std::uint32_t kDcbDtrEnable = 0x00040000;
inline constexpr std::uint32_t kDcbAbortOnError = 0x00080000;
inline constexpr std::uint32_t kDcbRtsEnable = 0x00100000;
inline constexpr std::uint32_t kDcbRtsToggle = 0x00200000;

// Field mask of port_set_comm_state.
inline constexpr std::uint32_t kFieldBaud = 0x0001;
inline constexpr std::uint32_t kFieldFlags = 0x0002;
inline constexpr std::uint32_t kFieldXonLimit = 0x0004;
inline constexpr std::uint32_t kFieldXoffLimit = 0x0008;
inline constexpr std::uint32_t kFieldByteSize = 0x0010;
inline constexpr std::uint32_t kFieldParity = 0x0020;
inline constexpr std::uint32_t kFieldStopBits = 0x0040;
inline constexpr std::uint32_t kFieldXonChar = 0x0080;
inline constexpr std::uint32_t kFieldXoffChar = 0x0100;
inline constexpr std::uint32_t kFieldErrorChar = 0x0200;
inline constexpr std::uint32_t kFieldEofChar = 0x0400;
inline constexpr std::uint32_t kFieldEventChar1 = 0x0800;
inline constexpr std::uint32_t kFieldEventChar2 = 0x1000;
inline constexpr std::uint32_t kFieldDcdTimeout = 0x2000;
inline constexpr std::uint32_t kFieldCtsTimeout = 0x4000;
inline constexpr std::uint32_t kFieldDsrTimeout = 0x8000;
inline constexpr std::uint32_t kFieldTimeouts = kFieldDcdTimeout | kFieldCtsTimeout | kFieldDsrTimeout;
inline constexpr std::uint32_t kFieldTransmitDelay = 0x10000;
inline constexpr std::uint32_t kFieldAll = 0xFFFFFFFF;

// CommDcb flags.
inline constexpr std::uint32_t kCommBinary = 0x0001;
inline constexpr std::uint32_t kCommParityCheck = 0x0002;
inline constexpr std::uint32_t kCommCtsOutput = 0x0004;
inline constexpr std::uint32_t kCommDsrOutput = 0x0008;
inline constexpr std::uint32_t kCommDtrControl = 0x0030;
inline constexpr std::uint32_t kCommDtrDisable = 0x0000;
inline constexpr std::uint32_t kCommDtrEnable = 0x0010;
inline constexpr std::uint32_t kCommDtrHandshake = 0x0020;
inline constexpr std::uint32_t kCommDsrSensitivity = 0x0040;
inline constexpr std::uint32_t kCommTxContinueOnXoff = 0x0080;
inline constexpr std::uint32_t kCommOutX = 0x0100;
inline constexpr std::uint32_t kCommInX = 0x0200;
inline constexpr std::uint32_t kCommErrorChar = 0x0400;
inline constexpr std::uint32_t kCommNullStrip = 0x0800;
inline constexpr std::uint32_t kCommRtsControl = 0x3000;
inline constexpr std::uint32_t kCommRtsDisable = 0x0000;
inline constexpr std::uint32_t kCommRtsEnable = 0x1000;
inline constexpr std::uint32_t kCommRtsHandshake = 0x2000;
inline constexpr std::uint32_t kCommRtsToggle = 0x3000;
inline constexpr std::uint32_t kCommAbortOnError = 0x4000;

// QueueStatus flags.
inline constexpr std::uint32_t kQueueHeldForCts = 0x01;
inline constexpr std::uint32_t kQueueHeldForDsr = 0x02;
inline constexpr std::uint32_t kQueueHeldByXoff = 0x08;
inline constexpr std::uint32_t kQueueXoffSent = 0x10;
inline constexpr std::uint32_t kQueueEofSeen = 0x20;
inline constexpr std::uint32_t kQueueImmediateWaits = 0x40;

// The settings every open starts from.
inline constexpr SerialDcb kDefaultSerialDcb{
    .length = sizeof(SerialDcb),
    .baud = 38400,
    .flags = kDcbBinary | kDcbParityCheck,
    .xon_limit = 0xFFFFFFFF,
    .xoff_limit = 0xFFFFFFFF,
    .reserved = 0,
    .byte_size = 8,
    .parity = 0,
    .stop_bits = 0,
    .xon_char = 17,
    .xoff_char = 19,
    .error_char = 0,
    .eof_char = 26,
    .event_char1 = 0,
    .event_char2 = 0,
    .reserved2 = {0, 0},
    .dcd_timeout = 0,
    .cts_timeout = 0,
    .dsr_timeout = 0,
    .transmit_delay = 0,
};

}  // namespace vxctl
