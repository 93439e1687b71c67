// The port block: the serial port inside the controller, one per machine
// (MachineState<PortState>().block, or port_block()). Its PortFunctionTable
// is how the serial requests drive the port; the virtual serial port's
// state (queues, lines, modem-status register, events, flow) lives in it
// beside the settings.
//
// Threads: the port functions run in the request threads, the controller
// side in the task thread and the IRP workers, the millisecond counters in
// the timing thread. Every field more than one of them writes is an atomic
// or sits under one of the port's spin locks (the two queues', the
// modem-status register's and the three notification locks).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "layer2/corecode/mt/port/port_layouts.h"
#include "platform/io/iodefs.h"
#include "platform/ke/irql.h"
#include "platform/ke/ke.h"
#include "platform/nt/serial.h"

namespace pump {
struct Comram;
}

namespace vxctl {

struct PortBlock;

// Last-error codes of the port functions.
inline constexpr std::int32_t kPortOk = 0;
inline constexpr std::int32_t kPortAlreadyOpen = -2;
inline constexpr std::int32_t kPortNotOpen = -3;
inline constexpr std::int32_t kPortBadParameter = -5;  // stop bits above 2, parity above 4
inline constexpr std::int32_t kPortNoController = -10;
inline constexpr std::int32_t kPortBadByteSize = -11;
inline constexpr std::int32_t kPortUnsupported = -20;
inline constexpr std::int32_t kPortMissing = -21;  // port block, argument or buffer
inline constexpr std::int32_t kPortImmediateWaits = 0x4000;

// Serial events (the event word and mask). The low eleven are the wait
// mask's bits.
inline constexpr std::uint32_t kEventRxChar = SERIAL_EV_RXCHAR;  // a character stored
inline constexpr std::uint32_t kEventRxFlag = SERIAL_EV_RXFLAG;  // event character 1 stored
inline constexpr std::uint32_t kEventTxEmpty = SERIAL_EV_TXEMPTY;
inline constexpr std::uint32_t kEventCts = SERIAL_EV_CTS;
inline constexpr std::uint32_t kEventDsr = SERIAL_EV_DSR;
inline constexpr std::uint32_t kEventDcd = SERIAL_EV_RLSD;
inline constexpr std::uint32_t kEventBreak = SERIAL_EV_BREAK;
inline constexpr std::uint32_t kEventError = SERIAL_EV_ERR;
inline constexpr std::uint32_t kEventRing = SERIAL_EV_RING;
inline constexpr std::uint32_t kEventRxMark = SERIAL_EV_RX80FULL;  // the receive mark reached
inline constexpr std::uint32_t kEventDsrOn = 0x0800;
inline constexpr std::uint32_t kEventDcdOn = 0x1000;
inline constexpr std::uint32_t kEventRingOff = 0x2000;
inline constexpr std::uint32_t kEventTxMoved = 0x4000;

// Communication error word.
inline constexpr std::uint32_t kCommErrorOverrun = 0x0001;  // also characters after end-of-file
inline constexpr std::uint32_t kCommErrorBreak = 0x0010;
inline constexpr std::uint32_t kCommErrorCtsTimeout = 0x0020;
inline constexpr std::uint32_t kCommErrorDsrTimeout = 0x0040;
inline constexpr std::uint32_t kCommErrorDcdTimeout = 0x0080;
inline constexpr std::uint32_t kCommErrorWriteShort = 0x0100;

// Flow state.
inline constexpr std::uint8_t kFlowXoffToSend = 0x01;
inline constexpr std::uint8_t kFlowStoppedByLines = 0x02;  // DTR or RTS lowered
inline constexpr std::uint8_t kFlowXonToSend = 0x04;
inline constexpr std::uint8_t kFlowHeldByXoff = 0x08;  // the controller sent XOFF
inline constexpr std::uint8_t kFlowXoffSent = 0x10;
inline constexpr std::uint8_t kFlowHeldByLines = 0x20;  // CTS or DSR missing
inline constexpr std::uint8_t kFlowBreakIn = 0x40;      // a break from the application

// Port flags.
inline constexpr std::uint8_t kPortEofSeen = 0x20;
inline constexpr std::uint8_t kPortImmediateChar = 0x40;  // immediate_char waits

// Handshake flags: input (the lines the port lowers to stop the
// controller) and output (the lines it needs before it drains; the MSR's
// line bits).
inline constexpr std::uint8_t kInputDtr = 0x01;
inline constexpr std::uint8_t kInputRts = 0x02;
inline constexpr std::uint8_t kOutputCts = 0x10;
inline constexpr std::uint8_t kOutputDsr = 0x20;

// Modem-status register.
inline constexpr std::uint8_t kMsrDeltaCts = 0x01;
inline constexpr std::uint8_t kMsrDeltaDsr = 0x02;
inline constexpr std::uint8_t kMsrTrailingRi = 0x04;
inline constexpr std::uint8_t kMsrDeltaDcd = 0x08;
inline constexpr std::uint8_t kMsrCts = 0x10;
inline constexpr std::uint8_t kMsrDsr = 0x20;
inline constexpr std::uint8_t kMsrRi = 0x40;
inline constexpr std::uint8_t kMsrDcd = 0x80;
inline constexpr std::uint8_t kMsrLines = kMsrCts | kMsrDsr | kMsrRi | kMsrDcd;

// Operations of port_msr_update and port_msr_delta.
inline constexpr std::uint32_t kMsrClear = 1;
inline constexpr std::uint32_t kMsrSet = 2;
inline constexpr std::uint32_t kMsrLeave = 4;

// Notification kinds (port_notify) and notification flags.
inline constexpr std::uint32_t kNotifyRead = 1;
inline constexpr std::uint32_t kNotifyWrite = 2;
inline constexpr std::uint32_t kNotifyEvent = 4;
inline constexpr std::uint32_t kNotifiedRead = 0x01;
inline constexpr std::uint32_t kNotifiedWrite = 0x02;
inline constexpr std::uint32_t kNotifiedEvent = 0x04;
inline constexpr std::uint32_t kEventNotificationOn = 0x40;

// Port state flags.
inline constexpr std::uint8_t kStateClosing = 0x01 | 0x20;
inline constexpr std::uint8_t kStateWriteInPool = 0x04;
inline constexpr std::uint8_t kStateReadInPool = 0x08;
inline constexpr std::uint8_t kStateApplied = 0x80;

inline constexpr std::uint32_t kNoThreshold = 0xFFFFFFFF;
inline constexpr std::uint32_t kStaticQueueSize = 4096;

// 13/16 of a read queue of `size` bytes: the receive-mark event and the
// level the controller resumes at.
constexpr std::uint32_t ReceiveMark(std::uint32_t size) { return size / 4 * 3 + size / 16; }

// A notification callback: the port, its reference data, the kind
// (kNotifyRead or kNotifyWrite) and the events (event word AND mask). It
// runs at DISPATCH_LEVEL under its notification lock.
using PortCallback = void (*)(PortBlock* port, void* reference, std::uint32_t kind,
                              std::uint32_t events);

// The 25 slots, in order; each function returns false with the port's last
// error set (a null port block or missing pointer: kPortMissing).
struct PortFunctionTable {
  bool (*set_comm_state)(PortBlock* port, const SerialDcb* dcb, std::uint32_t mask);  // 0
  bool (*get_comm_state)(PortBlock* port, SerialDcb* dcb);                            // 1
  bool (*setup)(PortBlock* port, std::uint8_t* read_buffer, std::uint32_t read_size,
                std::uint8_t* write_buffer, std::uint32_t write_size);  // 2
  bool (*transmit_char)(PortBlock* port, std::uint8_t c);               // 3
  bool (*close)(PortBlock* port);                                       // 4
  bool (*get_queue_status)(PortBlock* port, QueueStatus* status);       // 5
  bool (*clear_error)(PortBlock* port, QueueStatus* status, std::uint32_t* errors);  // 6
  bool (*set_modem_status_shadow)(PortBlock* port, std::atomic<std::uint8_t>* msr);  // 7
  bool (*get_properties)(PortBlock* port, CommProperties* properties);               // 8
  bool (*escape)(PortBlock* port, std::uint32_t function, std::uint32_t argument,
                 std::uint32_t* value);  // 9
  void* purge;                           // 10, empty
  bool (*set_event_mask)(PortBlock* port, std::uint32_t mask,
                         std::atomic<std::uint32_t>* event_word);                      // 11
  bool (*get_event_mask)(PortBlock* port, std::uint32_t clear, std::uint32_t* events);  // 12
  bool (*write)(PortBlock* port, const std::uint8_t* bytes, std::uint32_t count,
                std::uint32_t* written, const volatile BOOLEAN* abort);  // 13
  bool (*read)(PortBlock* port, std::uint8_t* buffer, std::uint32_t count, std::uint32_t* read,
               const volatile BOOLEAN* abort);                                    // 14
  bool (*enable_notification)(PortBlock* port, PortCallback callback, void* reference);  // 15
  bool (*set_read_callback)(PortBlock* port, std::uint32_t threshold, PortCallback callback,
                            void* reference);  // 16
  bool (*set_write_callback)(PortBlock* port, std::uint32_t threshold, PortCallback callback,
                             void* reference);                                       // 17
  bool (*get_modem_status)(PortBlock* port, std::uint32_t* status);                  // 18
  bool (*get_comm_config)(PortBlock* port, CommConfig* config, std::uint32_t* size);  // 19
  bool (*set_comm_config)(PortBlock* port, const CommConfig* config, std::uint32_t size);  // 20
  bool (*get_error)(PortBlock* port, std::int32_t* error);                                // 21
  void* device_control;                                                                   // 22, empty
  PortBlock* (*open)(const std::uint8_t* identifier, std::uint32_t argument,
                     std::int32_t* error);  // 23
  void* reserved;                           // 24, empty
};
static_assert(sizeof(PortFunctionTable) == 25 * sizeof(void*));

// One of the two serial queues: the read queue carries the controller's
// bytes to the application, the write queue the application's bytes to the
// controller. Its fields change only under its lock; a full queue has
// get == put and count == size.
struct SerialQueue {
  std::uint8_t* buffer = nullptr;
  std::uint32_t size = 0;
  std::uint32_t count = 0;
  std::uint32_t get = 0;  // next byte to take
  std::uint32_t put = 0;  // next free byte
  KSPIN_LOCK lock = 0;
};

// The application's lines and the line format. Lines are 0 or 1.
struct UartLineState {
  std::atomic<std::uint8_t> data_bits{0};
  std::atomic<std::uint8_t> stop_bits{0};  // 0 one, 1 one and a half, 2 two
  std::atomic<std::uint32_t> baud{0};
  std::atomic<std::uint8_t> parity{0};  // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::atomic<std::uint8_t> dtr{0};     // from the application
  std::atomic<std::uint8_t> dsr{0};     // toward it
  std::atomic<std::uint8_t> rts{0};     // from it
  std::atomic<std::uint8_t> cts{0};     // toward it
  std::atomic<std::uint8_t> dcd{0};     // toward it
  std::atomic<std::uint8_t> ri{0};      // toward it
  std::atomic<std::uint8_t> break_in{0};   // from the application
  std::atomic<std::uint8_t> break_out{0};  // toward it
};

// The read or the write notification. The callback and its reference data
// change under the notification's lock.
struct QueueNotification {
  std::atomic<std::uint8_t> armed{0};
  std::atomic<std::uint32_t> threshold{kNoThreshold};
  void* reference = nullptr;
  PortCallback callback = nullptr;  // port_null_callback once set up
};

struct PortNotifications {
  QueueNotification read;
  QueueNotification write;
  void* event_reference = nullptr;
  PortCallback event_callback = nullptr;  // non-null: event notification on
};

struct PortBlock {
  std::uint32_t header_length = 178;
  std::uint32_t version = 1;
  PortFunctionTable* table = nullptr;
  std::uint32_t slot_count = 25;
  std::atomic<std::int32_t> last_error{kPortOk};
  std::uint32_t reserved[2] = {};
  std::atomic<std::uint32_t> own_event_word{0};
  std::atomic<std::uint32_t> error_word{0};
  std::atomic<std::uint8_t> msr_shadow{0};
  SerialQueue read_queue;
  SerialQueue write_queue;
  SERIAL_TIMEOUTS timeouts{0xFFFFFFFF, 0, 0, 0, 0};
  std::atomic<std::uint32_t> last_receive_time{0};
  // Received, transmitted and four more (the statistics requests).
  std::array<std::atomic<std::uint32_t>, 6> counters{};
  SerialDcb dcb = kDefaultSerialDcb;
  std::atomic<std::uint8_t> port_flags{0};  // kPort...
  std::atomic<std::uint8_t> flow{0};        // kFlow...
  std::atomic<std::uint8_t> input_handshake{0};
  std::atomic<std::uint8_t> output_handshake{0};
  std::atomic<std::uint8_t> timeout_lines{0};  // MSR line bits with a non-zero time-out
  std::atomic<std::uint8_t> infinite_timeout_lines{0xFF};
  std::atomic<std::uint8_t> immediate_char{0};
  std::atomic<std::uint8_t> state_flags{0};  // kState...
  char signature[4] = {'P', 'O', 'R', 'T'};
  std::atomic<std::uint32_t> notification_flags{0};
  std::atomic<std::uint32_t> flow_threshold{kNoThreshold};
  pump::Comram* register_page = nullptr;
  std::uint8_t critical_level = DISPATCH_LEVEL;
  std::uint8_t constant_bytes[2] = {0x80, 0x10};
  std::atomic<std::uint8_t> open_marker{0};  // 0xA5 while open
  std::uint32_t open_argument = 0;
  std::atomic<std::uint32_t> event_mask{0};
  std::atomic<std::atomic<std::uint32_t>*> event_word{nullptr};
  std::atomic<std::uint32_t>* receive_time = nullptr;  // also gets each arrival time
  std::atomic<std::atomic<std::uint8_t>*> msr{nullptr};
  std::uint8_t identifier[10] = {};
  PDEVICE_OBJECT device = nullptr;
  PortFunctionTable functions{};
  PortNotifications notifications;
  // Milliseconds: read total, read since the last character, write.
  std::array<std::atomic<std::uint32_t>, 3> elapsed{};
  std::atomic<std::uint32_t> polling{0};
  std::atomic<std::uint32_t> controller_started{0};
  // Guards the close work: set while no open needs closing.
  std::atomic<std::uint8_t> closed{1};
  UartLineState lines;
  std::atomic<std::uint8_t> drain_guard{1};  // qor_rx_int's, 1 while free
};

inline constexpr std::size_t kCounterReceived = 0;
inline constexpr std::size_t kCounterTransmitted = 1;
inline constexpr std::size_t kElapsedReadTotal = 0;
inline constexpr std::size_t kElapsedReadInterval = 1;
inline constexpr std::size_t kElapsedWrite = 2;

// The transfer in progress of each direction (port_read, port_write):
// which time-outs apply and their limits in milliseconds. An abort from
// another thread makes the total active with deadline 0, so the loop ends
// at its next round.
struct TransferState {
  std::atomic<std::uint32_t> read_deadline{0};
  std::atomic<std::uint32_t> interval_limit{0};
  std::atomic<std::uint32_t> write_deadline{0};
  std::atomic<std::uint8_t> read_total_active{0};
  std::atomic<std::uint8_t> interval_active{0};
  std::atomic<std::uint8_t> write_total_active{0};
  std::atomic<std::uint8_t> received{0};
  std::atomic<std::uint8_t> return_on_any{0};
};

// The machine's port: the block, the static queue areas, the locks, and
// the fields the port reads of the serial device extension, kept here
// until the extension exists. Made on first use as a closed port with
// both queues on their static areas and the table filled.
struct PortState {
  PortState();
  PortState(const PortState&) = delete;
  PortState& operator=(const PortState&) = delete;

  PortBlock block;
  std::array<std::uint8_t, kStaticQueueSize> read_area{};
  std::array<std::uint8_t, kStaticQueueSize> write_area{};
  KSPIN_LOCK msr_lock = 0;  // held while the modem-status register changes
  TransferState transfer;
  // Synchronisation events the transfers wait on between their rounds:
  // set when the controller stores a byte for the application and when
  // the write queue frees room.
  KEVENT rx_arrived;
  KEVENT tx_room;
  // The wait-on-mask worker's kick while the worker runs.
  std::atomic<KEVENT*> wait_wake{nullptr};

  // Of the serial device extension.
  KSPIN_LOCK event_notification_lock = 0;
  KSPIN_LOCK read_notification_lock = 0;
  KSPIN_LOCK write_notification_lock = 0;
  std::atomic<std::uint32_t> receive_mark{ReceiveMark(kStaticQueueSize)};
  std::atomic<std::uint32_t> flow_replace{0};  // of the last SERIAL_HANDFLOW
  std::atomic<std::uint32_t> control_handshake{0};  // of the last SERIAL_HANDFLOW
  std::atomic<std::uint8_t> break_char{0};     // of the last IOCTL_SERIAL_SET_CHARS

  // Raised by the open wrapper; the registry settings read it.
  std::atomic<std::uint8_t> port_opened{0};
};

// Flow-replace bit of SERIAL_HANDFLOW: a break toward the application
// first delivers the break character.
inline constexpr std::uint32_t kFlowReplaceBreakChar = 0x10;

PortState& port_state();
PortBlock& port_block();

}  // namespace vxctl
