// The feature switches and identification strings (reg_load_features), and
// the search for this port's entry among the installed modems.
#pragma once

#include <cstdint>

#include "platform/nt/ntdef.h"

namespace vxctl {

struct SerialDeviceExtension;

// Which string reg_read_modem_ident reads from the modem's instance key.
enum ModemIdentField : int { kIdentModel = 0, kIdentManufacturer = 1, kIdentHardwareId = 2 };

// 1 loaded, 0 without registry context. A switch that is absent or not one
// byte long takes its default; "gpio_lpohd" and "v92rptopt" keep their value.
int reg_load_features();

// The string `which` of the installed modem attached to this port's COM
// name, as 8-bit characters, at most *size - 1 and a terminator; *size
// becomes its length. On any failure the buffer and size are untouched.
void reg_read_modem_ident(const SerialDeviceExtension* context, char* buffer, ULONG* size,
                          int which);

}  // namespace vxctl
