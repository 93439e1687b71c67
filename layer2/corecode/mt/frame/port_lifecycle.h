// The port layer's life: started and stopped with the driver (its threads
// and configuration), the port opened and closed for each application
// handle (the controller started and stopped on the task thread), its
// queues sized, and the tracked pool blocks of queues above 4096 bytes.
// Slots 2, 4 and 23 of the PortFunctionTable.
#pragma once

#include <array>
#include <cstdint>

#include "layer2/corecode/mt/port/port_block.h"
#include "platform/io/iodefs.h"

namespace vxctl {

inline constexpr std::uint8_t kPortOpenMarker = 0xA5;
inline constexpr std::size_t kTrackedBlocks = 11;

// AddressAllocate flags.
inline constexpr std::uint32_t kAllocZeroed = 0x001;
inline constexpr std::uint32_t kAllocPaged = 0x200;
inline constexpr std::uint32_t kAllocRefused = 0x100 | 0x400;

struct TrackedPool {
  std::array<void*, kTrackedBlocks> allocated{};
};

// Starts the threads (task, timing), the configuration, the critical
// section and the port block; null (with everything stopped again) on a
// failure.
PortBlock* port_layer_start(PDEVICE_OBJECT serial_device);
// The close work first when the port is still open, then the threads and
// the configuration stop.
void port_layer_stop(PortBlock* port);
void port_init(std::uint32_t ignored, pump::Comram* register_page, std::uint8_t level);

// Slot 23: the port block, or null with the error in `error`
// (kPortAlreadyOpen, kPortNoController).
PortBlock* port_open(const std::uint8_t* identifier, std::uint32_t argument, std::int32_t* error);
// Slot 4: waits (at most 2 s, DTR lowered) for a call in progress to end,
// then stops the controller. True, also when not open (kPortNotOpen).
bool port_close(PortBlock* port);
// Once per open (the closed flag guards it): the controller stopped on the
// task thread, the 10 ms timer stopped, the pool queues freed.
void port_close_work(PortBlock& port);
// Slot 2: each queue on the caller's buffer, or `size` bytes (a pool block
// above 4096, the static area otherwise or when the pool refuses), 4096
// with neither. The receive mark follows the read queue's size.
bool port_setup(PortBlock* port, std::uint8_t* read_buffer, std::uint32_t read_size,
                std::uint8_t* write_buffer, std::uint32_t write_size);
// Thresholds none, callbacks port_null_callback, no event notification.
void port_reset_notifications(PortBlock& port);
// Both queues back on their static areas.
void port_free_pool_queues(PortBlock& port);

// Pool blocks tracked in an 11-entry table (flags kAlloc...). A block
// that finds the table full goes back at once: null.
void* AddressAllocate(std::uint32_t size, std::uint32_t flags);
// 1 freed; 0 for a block the table does not hold (kept as it is).
std::uint32_t AddressFree(void* block, std::uint32_t ignored = 0);

// The configuration: slot 23 installed and the registry context taken
// (the settings loads join here); its stop takes the controller side down
// and releases the port's resources. Both return 0.
std::uint32_t port_config_start(PDEVICE_OBJECT serial_device);
std::uint32_t VCOMM_ConfigStop();

}  // namespace vxctl
