// The port configuration's start and stop, run by the port layer's start
// and stop.
#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/frame/port_lifecycle.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/registry/startup_loads.h"
#include "layer2/corecode/mt/task/task_timer.h"
#include "layer2/corecode/mt/task/timing_thread.h"

namespace vxctl {

std::uint32_t port_config_start(PDEVICE_OBJECT serial_device) {
  port_block().functions.open = port_open;
  reg_settings().context.store(serial_device->DeviceExtension);
  reg_load_configuration();
  return 0;
}

std::uint32_t VCOMM_ConfigStop() {
  std::atomic<std::uint8_t>& guard = timing_thread_state().tick_guard;
  if (guard.exchange(0) == 1) {
    guard.store(1);
  } else {
    DbgPrint("VCOMM_ConfigStop() Failed! qor_bg is still running.\n");
  }
  PortBlock& port = port_block();
  port_close_work(port);
  port_reset_notifications(port);
  task_timer_stop();
  reg_settings().context.store(nullptr);
  port_free_pool_queues(port);
  // The resource claim goes with an empty assignment.
  UNICODE_STRING class_name;
  RtlInitUnicodeString(&class_name, u"LOADED SERIAL DRIVER RESOURCES");
  auto& extension = *static_cast<SerialDeviceExtension*>(ctl_globals().serial->DeviceExtension);
  PCM_RESOURCE_LIST assigned = nullptr;
  IoAssignResources(&extension.registry_path, &class_name, ctl_globals().serial->DriverObject,
                    ctl_globals().serial, nullptr, &assigned);
  if (assigned != nullptr) ExFreePool(assigned);
  return 0;
}

}  // namespace vxctl
