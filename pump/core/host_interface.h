// The host-interface object: the one block of memory that the data pump and
// the controller share. The data pump allocates it at start and frees it at
// stop. It holds the two callbacks through which the sides wake each other,
// the COMRAM register page, and the two key tables through which the
// controller reaches named items of the data pump's memory.
//
// The controller reaches the page through this declaration,
// offsetof(HostInterface, comram), never through a literal offset: the
// callbacks and table pointers are pointer-sized.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/nt/ntdef.h"
#include "pump/core/comram.h"

namespace pump {

struct DspContext;
struct HostInterface;

// The controller's notification routine: called by the data pump after every
// packet or data-block post and, while the controller enabled it, on the data
// pump's writes of register 255.
using ControllerCallback = void (*)(HostInterface* host);
// The data pump's wake entry: called by the controller after it wrote
// register 252 or 254; runs the command dispatcher before it returns.
using WakeCallback = NTSTATUS (*)(DspContext* context);

inline constexpr std::size_t kParamKeyCapacity = 128;
inline constexpr std::size_t kMemKeyCapacity = 256;

// A named item of the data pump's memory.
struct DataKey {
  std::uint32_t key;
  std::uint8_t* buffer;  // inside the DspContext, or a shared zero word
  std::uint32_t size;    // bytes
};

struct HostInterface {
  ControllerCallback controller_callback;
  WakeCallback wake_callback;
  DataKey* param_keys;  // -> param_key_table
  DataKey* mem_keys;    // -> mem_key_table
  std::int32_t param_key_count;
  std::int32_t mem_key_count;
  std::uint8_t reserved[8];
  Comram comram;
  DataKey param_key_table[kParamKeyCapacity];
  DataKey mem_key_table[kMemKeyCapacity];
};
static_assert(std::is_standard_layout_v<HostInterface>, "the controller uses offsetof");

// Non-paged pool, tag "Ddk ". The whole object starts zeroed, the page among
// it. Null when the pool refuses.
HostInterface* AllocHostInterface();
void FreeHostInterface(HostInterface* host);

// Clears the page, empties both key tables, stores the callbacks, and sets the
// hook relay bit of register 242 (on hook).
void InitHostInterface(HostInterface& host, ControllerCallback controller, WakeCallback wake);

// Register 255 rings the controller instead of being stored while register
// 247 enables that; every other register is stored.
void WriteDspReg(HostInterface& host, std::uint8_t reg, std::uint8_t value);
// The stored byte; the two doorbells 254 and 255 read as 0.
std::uint8_t ReadDspReg(const HostInterface& host, std::uint8_t reg);
// Plain store and read, no doorbell.
void SetDspReg(HostInterface& host, std::uint8_t reg, std::uint8_t value);
std::uint8_t GetDspReg(const HostInterface& host, std::uint8_t reg);

// Report word 0-3 into registers 118+2i (low byte) and 119+2i (high byte);
// other indices are ignored.
void SetDspRegWord(HostInterface& host, int index, std::int16_t value);
// Register 126 when asked for 126, else 0.
std::uint8_t ReadDspReg126(const HostInterface& host, std::uint8_t reg);
// The local-phone line of register 242 (bit 1): 0 while the flag is set.
void SetLocalPhoneBit(HostInterface& host, bool off_hook);

}  // namespace pump
