// The register page itself: binding, reads, writes with their doorbells and
// the atomic bit changes of the line banks. Apart from the link's sequences
// so the line and relay code links it alone.
#include <cstddef>

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/machine_state.h"

namespace vxctl {
namespace {

using pump::kRegCpDoorbell;
using pump::kRegPowerControl;

DspLinkState& Link() { return MachineState<DspLinkState>(); }

// The data pump's wake entry, once bound: runs its dispatcher now.
void Ring(DspLinkState& link) {
  pump::HostInterface* host = link.host.load(std::memory_order_acquire);
  pump::DspContext* context = link.context.load(std::memory_order_acquire);
  if (host == nullptr || context == nullptr || host->wake_callback == nullptr) return;
  host->wake_callback(context);
}

std::atomic_ref<std::uint8_t> Register(pump::Comram& page, std::uint8_t reg) {
  return std::atomic_ref<std::uint8_t>(page.reg[reg]);
}

}  // namespace

void dsp_set_comram(pump::Comram* page) {
  DspLinkState& link = Link();
  pump::HostInterface* host = nullptr;
  if (page != nullptr) {
    host = reinterpret_cast<pump::HostInterface*>(reinterpret_cast<std::byte*>(page) -
                                                  offsetof(pump::HostInterface, comram));
  }
  link.host.store(host, std::memory_order_release);
  link.page.store(page, std::memory_order_release);
}

void dsp_set_dsp_context(pump::DspContext* context) {
  Link().context.store(context, std::memory_order_release);
}

pump::Comram* dsp_page() { return Link().page.load(std::memory_order_acquire); }

std::uint8_t dsp_reg_read(std::uint16_t reg) {
  pump::Comram* page = dsp_page();
  if (page == nullptr || reg >= pump::kComramSize) return 0;
  return page->reg[reg];
}

void dsp_reg_write(std::uint16_t reg, std::uint8_t value) {
  DspLinkState& link = Link();
  pump::Comram* page = link.page.load(std::memory_order_acquire);
  if (page == nullptr || reg >= pump::kComramSize) return;
  page->reg[reg] = value;
  if (reg == kRegPowerControl || reg == kRegCpDoorbell) Ring(link);
}

void dsp_reg_set_bits(std::uint8_t reg, std::uint8_t bits) {
  if (pump::Comram* page = dsp_page()) Register(*page, reg).fetch_or(bits);
}

void dsp_reg_clear_bits(std::uint8_t reg, std::uint8_t bits) {
  if (pump::Comram* page = dsp_page()) {
    Register(*page, reg).fetch_and(static_cast<std::uint8_t>(~bits));
  }
}

}  // namespace vxctl
