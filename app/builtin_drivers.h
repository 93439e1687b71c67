// The driver images vxmodem boots, in load order (the front end first, then
// the data pump, then the controller): each driver adds its entry here.
#pragma once

#include <array>

#include "afe/windows/afe_device.h"
#include "layer2/corecode/mt/frame/frame.h"
#include "platform/io/io_host.h"
#include "pump/driver/dsp_device.h"

namespace vxmodem {

inline constexpr std::array<plat::io::DriverImage, 3> kBuiltinDrivers{{
    {u"vxafe", afe::DriverEntry},
    {u"vxdsp", pump::DriverEntry},
    {u"vxctl", vxctl::DriverEntry},
}};

}  // namespace vxmodem
