// A serial port with a loopback plug, as a test driver for the DTE client:
// "\Device\LoopSerial0" with the link COM1. What is written comes back to be
// read; DTR drives DSR and DCD, RTS drives CTS. It serves the serial requests
// the communication calls send: time-outs, DTR and RTS, modem status, wait
// mask and wait-on-mask, purge and the communication status; reads follow
// the read time-outs (at once, up to the first byte, or up to the whole
// length, each within its total time-out).
#pragma once

#include "platform/io/io.h"

namespace plat::machine::testing {

NTSTATUS LoopbackSerialEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry_path);

}  // namespace plat::machine::testing
