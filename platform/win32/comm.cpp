#include "platform/win32/comm.h"

namespace {

// One device control with the given buffers.
BOOL Control(HANDLE file, DWORD code, const void* in, DWORD in_length, void* out,
             DWORD out_length) {
  DWORD returned = 0;
  return DeviceIoControl(file, code, const_cast<void*>(in), in_length, out, out_length, &returned,
                         nullptr);
}

}  // namespace

BOOL SetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
  const SERIAL_TIMEOUTS request{timeouts->ReadIntervalTimeout, timeouts->ReadTotalTimeoutMultiplier,
                                timeouts->ReadTotalTimeoutConstant,
                                timeouts->WriteTotalTimeoutMultiplier,
                                timeouts->WriteTotalTimeoutConstant};
  return Control(file, IOCTL_SERIAL_SET_TIMEOUTS, &request, sizeof request, nullptr, 0);
}

BOOL GetCommTimeouts(HANDLE file, LPCOMMTIMEOUTS timeouts) {
  SERIAL_TIMEOUTS answer{};
  if (!Control(file, IOCTL_SERIAL_GET_TIMEOUTS, nullptr, 0, &answer, sizeof answer)) return FALSE;
  *timeouts = {answer.ReadIntervalTimeout, answer.ReadTotalTimeoutMultiplier,
               answer.ReadTotalTimeoutConstant, answer.WriteTotalTimeoutMultiplier,
               answer.WriteTotalTimeoutConstant};
  return TRUE;
}

BOOL EscapeCommFunction(HANDLE file, DWORD function) {
  DWORD code = 0;
  switch (function) {
    case SETXOFF:
      code = IOCTL_SERIAL_SET_XOFF;
      break;
    case SETXON:
      code = IOCTL_SERIAL_SET_XON;
      break;
    case SETRTS:
      code = IOCTL_SERIAL_SET_RTS;
      break;
    case CLRRTS:
      code = IOCTL_SERIAL_CLR_RTS;
      break;
    case SETDTR:
      code = IOCTL_SERIAL_SET_DTR;
      break;
    case CLRDTR:
      code = IOCTL_SERIAL_CLR_DTR;
      break;
    case SETBREAK:
      code = IOCTL_SERIAL_SET_BREAK_ON;
      break;
    case CLRBREAK:
      code = IOCTL_SERIAL_SET_BREAK_OFF;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
  }
  return Control(file, code, nullptr, 0, nullptr, 0);
}

BOOL PurgeComm(HANDLE file, DWORD flags) {
  const ULONG mask = flags;
  return Control(file, IOCTL_SERIAL_PURGE, &mask, sizeof mask, nullptr, 0);
}

BOOL GetCommModemStatus(HANDLE file, LPDWORD modemStatus) {
  ULONG status = 0;
  if (!Control(file, IOCTL_SERIAL_GET_MODEMSTATUS, nullptr, 0, &status, sizeof status)) {
    return FALSE;
  }
  *modemStatus = status;
  return TRUE;
}

BOOL SetCommMask(HANDLE file, DWORD eventMask) {
  const ULONG mask = eventMask;
  return Control(file, IOCTL_SERIAL_SET_WAIT_MASK, &mask, sizeof mask, nullptr, 0);
}

BOOL GetCommMask(HANDLE file, LPDWORD eventMask) {
  ULONG mask = 0;
  if (!Control(file, IOCTL_SERIAL_GET_WAIT_MASK, nullptr, 0, &mask, sizeof mask)) return FALSE;
  *eventMask = mask;
  return TRUE;
}

BOOL WaitCommEvent(HANDLE file, LPDWORD eventMask, LPOVERLAPPED overlapped) {
  if (overlapped != nullptr) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  ULONG events = 0;
  if (!Control(file, IOCTL_SERIAL_WAIT_ON_MASK, nullptr, 0, &events, sizeof events)) {
    return FALSE;
  }
  *eventMask = events;
  return TRUE;
}

BOOL ClearCommError(HANDLE file, LPDWORD errors, LPCOMSTAT status) {
  SERIAL_STATUS answer{};
  if (!Control(file, IOCTL_SERIAL_GET_COMMSTATUS, nullptr, 0, &answer, sizeof answer)) {
    return FALSE;
  }
  if (errors != nullptr) *errors = answer.Errors;
  if (status != nullptr) {
    *status = COMSTAT{};
    status->fCtsHold = (answer.HoldReasons & SERIAL_TX_WAITING_FOR_CTS) != 0;
    status->fDsrHold = (answer.HoldReasons & SERIAL_TX_WAITING_FOR_DSR) != 0;
    status->fRlsdHold = (answer.HoldReasons & SERIAL_TX_WAITING_FOR_DCD) != 0;
    status->fXoffHold = (answer.HoldReasons & SERIAL_TX_WAITING_FOR_XON) != 0;
    status->fXoffSent = (answer.HoldReasons & SERIAL_TX_WAITING_XOFF_SENT) != 0;
    status->fEof = answer.EofReceived != 0;
    status->fTxim = answer.WaitForImmediate != 0;
    status->cbInQue = answer.AmountInInQueue;
    status->cbOutQue = answer.AmountInOutQueue;
  }
  return TRUE;
}
