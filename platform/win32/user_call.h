// What every user-mode call of this folder does first and on failure: check
// that user code calls it, and record the calling thread's last error.
#pragma once

#include "platform/ke/kernel.h"
#include "platform/win32/win32.h"

namespace plat::win32 {

// The caller's machine; fatal when kernel code calls.
ke::Kernel& RequireUserThread(const char* call);
// The calling thread's last error.
DWORD& LastError();

// Records a failure; returns the value the call gives on failure.
template <typename T>
T Fail(DWORD error, T result) {
  LastError() = error;
  return result;
}

}  // namespace plat::win32
