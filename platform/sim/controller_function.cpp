#include "platform/sim/controller_function.h"

#include "platform/sim/controller_identity.h"

namespace plat::sim {
namespace {

constexpr std::uint8_t kRevision = 0x01;
constexpr std::uint8_t kClassSimpleCommunication = 0x07;
constexpr std::uint8_t kSubclassModem = 0x03;
constexpr std::uint16_t kWritableCommand = 0x0547;  // decode, master, parity, SERR, interrupt
constexpr std::uint8_t kPinA = 1;
constexpr std::uint8_t kPowerCapabilityId = 0x01;
constexpr std::uint16_t kPowerCapabilities = 0x0002;  // version 1.1, D0 and D3 only
constexpr std::uint32_t kDeviceSpecific = 0x40;

}  // namespace

hal::PciFunction ControllerFunction(Controller& controller) {
  hal::PciFunction function;
  hal::PciConfigSpace& c = function.config;
  for (std::uint32_t offset = kDeviceSpecific; offset < hal::pci::kSpaceBytes; ++offset) {
    c.Define8(offset, 0, 0xFF);
  }
  c.Define16(hal::pci::kVendorId, kModemControllerIdentity.vendor_id);
  c.Define16(hal::pci::kDeviceId, kModemControllerIdentity.device_id);
  c.Define16(hal::pci::kCommand,
             hal::pci::kCommandIo | hal::pci::kCommandMemory | hal::pci::kCommandMaster,
             kWritableCommand);
  c.Define16(hal::pci::kStatus, hal::pci::kStatusCapabilities);
  c.Define8(hal::pci::kRevision, kRevision);
  c.Define8(hal::pci::kClassCode + 1, kSubclassModem);
  c.Define8(hal::pci::kClassCode + 2, kClassSimpleCommunication);
  c.Define8(0x0C, 0, 0xFF);  // cache line size
  c.Define8(0x0D, 0, 0xFF);  // latency timer
  c.Define32(hal::pci::kSubsystem, kModemControllerIdentity.subsystem);
  c.Define8(hal::pci::kCapabilities, kPowerCapability);
  c.Define8(hal::pci::kInterruptLine, Controller::kInterruptLine, 0xFF);
  c.Define8(hal::pci::kInterruptPin, kPinA);
  c.Define8(kPowerCapability, kPowerCapabilityId);
  c.Define8(kPowerCapability + 1, 0);
  c.Define16(kPowerCapability + 2, kPowerCapabilities);
  c.Define16(kPowerControl, 0, 0xFFFF);
  c.Define16(kPowerControl + 2, 0);

  function.bars[Controller::kPortBar] = {hal::BarKind::kIo, Controller::kPortBarBytes};
  function.bars[Controller::kRegisterBar] = {hal::BarKind::kMemory, Controller::kRegisterBarBytes};
  function.device = &controller;
  return function;
}

hal::PciFunction& PlaceController(hal::Hal& hal, Controller& controller, hal::PciLocation at) {
  return hal.Bus().Add(at, ControllerFunction(controller));
}

}  // namespace plat::sim
