// What the machine host and tests use of the I/O manager: loading and
// unloading driver images and the fault knobs. (The machine's Shutdown
// also fails on a request still outstanding.)
#pragma once

#include <string_view>

#include "platform/io/io_faults.h"
#include "platform/io/iodefs.h"

namespace plat::ke {
class Kernel;
}

namespace plat::io {

// The registry key that holds the service keys of the drivers.
inline constexpr std::u16string_view kServicesPath =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\";

// A driver image: its service name and its entry point.
struct DriverImage {
  std::u16string_view service;
  PDRIVER_INITIALIZE entry;
};

// Makes the driver object "\Driver\<service>" and runs the image's
// DriverEntry with "\Registry\Machine\System\CurrentControlSet\Services\<service>"
// on a system thread at PASSIVE_LEVEL; the caller, a thread of the machine,
// waits for it. Devices the driver created lose DO_DEVICE_INITIALIZING when
// DriverEntry succeeds. A failed DriverEntry must leave no device behind
// (fatal otherwise); the driver object goes and `driver` is null.
NTSTATUS LoadDriver(const DriverImage& image, PDRIVER_OBJECT* driver);
// Runs DriverUnload on a system thread and waits for it; the driver must
// have deleted all its devices by then (fatal otherwise). A driver without
// an unload routine cannot be unloaded: STATUS_INVALID_DEVICE_REQUEST.
NTSTATUS UnloadDriver(PDRIVER_OBJECT driver);

IoFaults& Faults(ke::Kernel& machine);

}  // namespace plat::io
