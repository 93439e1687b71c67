// The serial port's device-control requests and their structures, shared by
// serial drivers and the user-mode communication calls. Layouts are packed
// as the requests carry them.
#pragma once

#include "platform/nt/ntdef.h"

// Function n of the serial port (device type 0x1B), buffered: 0x1B0000 + 4n.
constexpr ULONG SerialControlCode(ULONG function) {
  return 0x1Bu << 16 | function << 2;
}

inline constexpr ULONG IOCTL_SERIAL_SET_BAUD_RATE = SerialControlCode(1);
inline constexpr ULONG IOCTL_SERIAL_SET_QUEUE_SIZE = SerialControlCode(2);
inline constexpr ULONG IOCTL_SERIAL_SET_LINE_CONTROL = SerialControlCode(3);
inline constexpr ULONG IOCTL_SERIAL_SET_BREAK_ON = SerialControlCode(4);
inline constexpr ULONG IOCTL_SERIAL_SET_BREAK_OFF = SerialControlCode(5);
inline constexpr ULONG IOCTL_SERIAL_IMMEDIATE_CHAR = SerialControlCode(6);
inline constexpr ULONG IOCTL_SERIAL_SET_TIMEOUTS = SerialControlCode(7);
inline constexpr ULONG IOCTL_SERIAL_GET_TIMEOUTS = SerialControlCode(8);
inline constexpr ULONG IOCTL_SERIAL_SET_DTR = SerialControlCode(9);
inline constexpr ULONG IOCTL_SERIAL_CLR_DTR = SerialControlCode(10);
inline constexpr ULONG IOCTL_SERIAL_RESET_DEVICE = SerialControlCode(11);
inline constexpr ULONG IOCTL_SERIAL_SET_RTS = SerialControlCode(12);
inline constexpr ULONG IOCTL_SERIAL_CLR_RTS = SerialControlCode(13);
inline constexpr ULONG IOCTL_SERIAL_SET_XOFF = SerialControlCode(14);
inline constexpr ULONG IOCTL_SERIAL_SET_XON = SerialControlCode(15);
inline constexpr ULONG IOCTL_SERIAL_GET_WAIT_MASK = SerialControlCode(16);
inline constexpr ULONG IOCTL_SERIAL_SET_WAIT_MASK = SerialControlCode(17);
inline constexpr ULONG IOCTL_SERIAL_WAIT_ON_MASK = SerialControlCode(18);
inline constexpr ULONG IOCTL_SERIAL_PURGE = SerialControlCode(19);
inline constexpr ULONG IOCTL_SERIAL_GET_BAUD_RATE = SerialControlCode(20);
inline constexpr ULONG IOCTL_SERIAL_GET_LINE_CONTROL = SerialControlCode(21);
inline constexpr ULONG IOCTL_SERIAL_GET_CHARS = SerialControlCode(22);
inline constexpr ULONG IOCTL_SERIAL_SET_CHARS = SerialControlCode(23);
inline constexpr ULONG IOCTL_SERIAL_GET_HANDFLOW = SerialControlCode(24);
inline constexpr ULONG IOCTL_SERIAL_SET_HANDFLOW = SerialControlCode(25);
inline constexpr ULONG IOCTL_SERIAL_GET_MODEMSTATUS = SerialControlCode(26);
inline constexpr ULONG IOCTL_SERIAL_GET_COMMSTATUS = SerialControlCode(27);
inline constexpr ULONG IOCTL_SERIAL_XOFF_COUNTER = SerialControlCode(28);
inline constexpr ULONG IOCTL_SERIAL_GET_PROPERTIES = SerialControlCode(29);
inline constexpr ULONG IOCTL_SERIAL_GET_DTRRTS = SerialControlCode(30);
inline constexpr ULONG IOCTL_SERIAL_LSRMST_INSERT = SerialControlCode(31);
inline constexpr ULONG IOCTL_SERIAL_CONFIG_SIZE = SerialControlCode(32);
inline constexpr ULONG IOCTL_SERIAL_GET_COMMCONFIG = SerialControlCode(33);
inline constexpr ULONG IOCTL_SERIAL_SET_COMMCONFIG = SerialControlCode(34);
inline constexpr ULONG IOCTL_SERIAL_GET_STATS = SerialControlCode(35);
inline constexpr ULONG IOCTL_SERIAL_CLEAR_STATS = SerialControlCode(36);

#pragma pack(push, 1)
struct SERIAL_TIMEOUTS {
  ULONG ReadIntervalTimeout;
  ULONG ReadTotalTimeoutMultiplier;
  ULONG ReadTotalTimeoutConstant;
  ULONG WriteTotalTimeoutMultiplier;
  ULONG WriteTotalTimeoutConstant;
};
struct SERIAL_STATUS {
  ULONG Errors;
  ULONG HoldReasons;
  ULONG AmountInInQueue;
  ULONG AmountInOutQueue;
  BOOLEAN EofReceived;
  BOOLEAN WaitForImmediate;
};
struct SERIAL_BAUD_RATE {
  ULONG BaudRate;
};
struct SERIAL_LINE_CONTROL {
  UCHAR StopBits;
  UCHAR Parity;
  UCHAR WordLength;
};
struct SERIAL_CHARS {
  UCHAR EofChar;
  UCHAR ErrorChar;
  UCHAR BreakChar;
  UCHAR EventChar;
  UCHAR XonChar;
  UCHAR XoffChar;
};
struct SERIAL_HANDFLOW {
  ULONG ControlHandShake;
  ULONG FlowReplace;
  LONG XonLimit;
  LONG XoffLimit;
};
struct SERIAL_QUEUE_SIZE {
  ULONG InSize;
  ULONG OutSize;
};
struct SERIALPERF_STATS {
  ULONG ReceivedCount;
  ULONG TransmittedCount;
  ULONG FrameErrorCount;
  ULONG SerialOverrunErrorCount;
  ULONG BufferOverrunErrorCount;
  ULONG ParityErrorCount;
};
struct SERIAL_COMMPROP {
  USHORT PacketLength;
  USHORT PacketVersion;
  ULONG ServiceMask;
  ULONG Reserved1;
  ULONG MaxTxQueue;
  ULONG MaxRxQueue;
  ULONG MaxBaud;
  ULONG ProvSubType;
  ULONG ProvCapabilities;
  ULONG SettableParams;
  ULONG SettableBaud;
  USHORT SettableData;
  USHORT SettableStopParity;
  ULONG CurrentTxQueue;
  ULONG CurrentRxQueue;
  ULONG ProvSpec1;
  ULONG ProvSpec2;
  WCHAR ProvChar[1];
};
#pragma pack(pop)
static_assert(sizeof(SERIAL_TIMEOUTS) == 20);
static_assert(sizeof(SERIAL_STATUS) == 18);
static_assert(sizeof(SERIAL_BAUD_RATE) == 4);
static_assert(sizeof(SERIAL_LINE_CONTROL) == 3);
static_assert(sizeof(SERIAL_CHARS) == 6);
static_assert(sizeof(SERIAL_HANDFLOW) == 16);
static_assert(sizeof(SERIAL_QUEUE_SIZE) == 8);
static_assert(sizeof(SERIALPERF_STATS) == 24);
static_assert(sizeof(SERIAL_COMMPROP) == 62);

// SERIAL_HANDFLOW control handshake.
inline constexpr ULONG SERIAL_DTR_CONTROL = 0x01;
inline constexpr ULONG SERIAL_DTR_HANDSHAKE = 0x02;
inline constexpr ULONG SERIAL_CTS_HANDSHAKE = 0x08;
inline constexpr ULONG SERIAL_DSR_HANDSHAKE = 0x10;
inline constexpr ULONG SERIAL_DCD_HANDSHAKE = 0x20;
inline constexpr ULONG SERIAL_DSR_SENSITIVITY = 0x40;
inline constexpr ULONG SERIAL_ERROR_ABORT = 0x80000000;
// SERIAL_HANDFLOW flow replace.
inline constexpr ULONG SERIAL_AUTO_TRANSMIT = 0x01;
inline constexpr ULONG SERIAL_AUTO_RECEIVE = 0x02;
inline constexpr ULONG SERIAL_ERROR_CHAR = 0x04;
inline constexpr ULONG SERIAL_NULL_STRIPPING = 0x08;
inline constexpr ULONG SERIAL_BREAK_CHAR = 0x10;
inline constexpr ULONG SERIAL_RTS_MASK = 0xC0;
inline constexpr ULONG SERIAL_RTS_CONTROL = 0x40;
inline constexpr ULONG SERIAL_RTS_HANDSHAKE = 0x80;
inline constexpr ULONG SERIAL_TRANSMIT_TOGGLE = 0xC0;
inline constexpr ULONG SERIAL_XOFF_CONTINUE = 0x80000000;

// IOCTL_SERIAL_GET_DTRRTS.
inline constexpr ULONG SERIAL_DTR_STATE = 0x1;
inline constexpr ULONG SERIAL_RTS_STATE = 0x2;

// Modem status (IOCTL_SERIAL_GET_MODEMSTATUS).
inline constexpr ULONG SERIAL_CTS_STATE = 0x10;
inline constexpr ULONG SERIAL_DSR_STATE = 0x20;
inline constexpr ULONG SERIAL_RI_STATE = 0x40;
inline constexpr ULONG SERIAL_DCD_STATE = 0x80;

// Wait-mask events.
inline constexpr ULONG SERIAL_EV_RXCHAR = 0x0001;
inline constexpr ULONG SERIAL_EV_RXFLAG = 0x0002;
inline constexpr ULONG SERIAL_EV_TXEMPTY = 0x0004;
inline constexpr ULONG SERIAL_EV_CTS = 0x0008;
inline constexpr ULONG SERIAL_EV_DSR = 0x0010;
inline constexpr ULONG SERIAL_EV_RLSD = 0x0020;
inline constexpr ULONG SERIAL_EV_BREAK = 0x0040;
inline constexpr ULONG SERIAL_EV_ERR = 0x0080;
inline constexpr ULONG SERIAL_EV_RING = 0x0100;
inline constexpr ULONG SERIAL_EV_PERR = 0x0200;
inline constexpr ULONG SERIAL_EV_RX80FULL = 0x0400;

// Purge mask bits.
inline constexpr ULONG SERIAL_PURGE_TXABORT = 0x1;
inline constexpr ULONG SERIAL_PURGE_RXABORT = 0x2;
inline constexpr ULONG SERIAL_PURGE_TXCLEAR = 0x4;
inline constexpr ULONG SERIAL_PURGE_RXCLEAR = 0x8;

// Hold reasons (SERIAL_STATUS).
inline constexpr ULONG SERIAL_TX_WAITING_FOR_CTS = 0x01;
inline constexpr ULONG SERIAL_TX_WAITING_FOR_DSR = 0x02;
inline constexpr ULONG SERIAL_TX_WAITING_FOR_DCD = 0x04;
inline constexpr ULONG SERIAL_TX_WAITING_FOR_XON = 0x08;
inline constexpr ULONG SERIAL_TX_WAITING_XOFF_SENT = 0x10;
