// The user-mode communication calls on a serial port, each one device
// control of the serial port's requests (platform/nt/serial.h):
//
//   SetCommTimeouts, GetCommTimeouts   IOCTL_SERIAL_SET_TIMEOUTS, _GET_TIMEOUTS
//   EscapeCommFunction                 _SET_XOFF, _SET_XON, _SET_RTS, _CLR_RTS,
//                                      _SET_DTR, _CLR_DTR, _SET_BREAK_ON, _SET_BREAK_OFF
//   PurgeComm                          _PURGE
//   GetCommModemStatus                 _GET_MODEMSTATUS
//   SetCommMask, GetCommMask           _SET_WAIT_MASK, _GET_WAIT_MASK
//   WaitCommEvent                      _WAIT_ON_MASK
//   ClearCommError                     _GET_COMMSTATUS
//
// They fail as DeviceIoControl does, with the error the driver's status maps to.
#pragma once

#include "platform/nt/serial.h"
#include "platform/win32/files.h"

struct COMMTIMEOUTS {
  DWORD ReadIntervalTimeout;
  DWORD ReadTotalTimeoutMultiplier;
  DWORD ReadTotalTimeoutConstant;
  DWORD WriteTotalTimeoutMultiplier;
  DWORD WriteTotalTimeoutConstant;
};
using LPCOMMTIMEOUTS = COMMTIMEOUTS*;

struct COMSTAT {
  DWORD fCtsHold : 1;
  DWORD fDsrHold : 1;
  DWORD fRlsdHold : 1;
  DWORD fXoffHold : 1;
  DWORD fXoffSent : 1;
  DWORD fEof : 1;
  DWORD fTxim : 1;
  DWORD fReserved : 25;
  DWORD cbInQue;
  DWORD cbOutQue;
};
using LPCOMSTAT = COMSTAT*;

// EscapeCommFunction.
inline constexpr DWORD SETXOFF = 1;
inline constexpr DWORD SETXON = 2;
inline constexpr DWORD SETRTS = 3;
inline constexpr DWORD CLRRTS = 4;
inline constexpr DWORD SETDTR = 5;
inline constexpr DWORD CLRDTR = 6;
inline constexpr DWORD SETBREAK = 8;
inline constexpr DWORD CLRBREAK = 9;

// GetCommModemStatus.
inline constexpr DWORD MS_CTS_ON = SERIAL_CTS_STATE;
inline constexpr DWORD MS_DSR_ON = SERIAL_DSR_STATE;
inline constexpr DWORD MS_RING_ON = SERIAL_RI_STATE;
inline constexpr DWORD MS_RLSD_ON = SERIAL_DCD_STATE;

// PurgeComm.
inline constexpr DWORD PURGE_TXABORT = SERIAL_PURGE_TXABORT;
inline constexpr DWORD PURGE_RXABORT = SERIAL_PURGE_RXABORT;
inline constexpr DWORD PURGE_TXCLEAR = SERIAL_PURGE_TXCLEAR;
inline constexpr DWORD PURGE_RXCLEAR = SERIAL_PURGE_RXCLEAR;

// SetCommMask and WaitCommEvent.
inline constexpr DWORD EV_RXCHAR = SERIAL_EV_RXCHAR;
inline constexpr DWORD EV_RXFLAG = SERIAL_EV_RXFLAG;
inline constexpr DWORD EV_TXEMPTY = SERIAL_EV_TXEMPTY;
inline constexpr DWORD EV_CTS = SERIAL_EV_CTS;
inline constexpr DWORD EV_DSR = SERIAL_EV_DSR;
inline constexpr DWORD EV_RLSD = SERIAL_EV_RLSD;
inline constexpr DWORD EV_BREAK = SERIAL_EV_BREAK;
inline constexpr DWORD EV_ERR = SERIAL_EV_ERR;
inline constexpr DWORD EV_RING = SERIAL_EV_RING;

inline constexpr DWORD MAXDWORD = 0xFFFFFFFF;

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts);
// An unknown function fails with ERROR_INVALID_PARAMETER before any request.
BOOL EscapeCommFunction(HANDLE file, DWORD function);
BOOL PurgeComm(HANDLE file, DWORD flags);
BOOL GetCommModemStatus(HANDLE file, LPDWORD modemStatus);
BOOL SetCommMask(HANDLE file, DWORD eventMask);
BOOL GetCommMask(HANDLE file, LPDWORD eventMask);
// Waits (no OVERLAPPED) until an event of the mask occurs; the events in *eventMask.
BOOL WaitCommEvent(HANDLE file, LPDWORD eventMask, LPOVERLAPPED overlapped);
// Errors and status may each be null.
BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status);
