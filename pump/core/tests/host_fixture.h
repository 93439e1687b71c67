// A started host-interface object in its own pool, with a controller that
// counts its callbacks and can write the page the way the controller does.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>

#include "platform/ex/expool.h"
#include "pump/core/host_interface.h"

namespace pump::testing {

class HostFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    host = AllocHostInterface();
    ASSERT_NE(host, nullptr);
    InitHostInterface(*host, &CountCall, nullptr);
    controller_calls = 0;
  }
  void TearDown() override { FreeHostInterface(host); }

  std::uint8_t* page() { return host->comram.reg; }
  std::array<std::uint8_t, kComramSize> Snapshot() {
    std::array<std::uint8_t, kComramSize> copy;
    std::copy_n(page(), kComramSize, copy.begin());
    return copy;
  }

  // The controller posts a packet: registers 65 onward first, code last.
  void ControllerPostsPacket(std::uint8_t code, std::uint8_t length,
                             std::span<const std::uint8_t> payload) {
    page()[65] = 0;
    page()[66] = length;
    page()[67] = 0;
    std::copy(payload.begin(), payload.end(), page() + 68);
    page()[64] = code;
  }

  // The controller fills the transmit mailbox: data first, count and kind last.
  void ControllerFillsTx(std::uint8_t kind, std::uint8_t count,
                         std::span<const std::uint8_t> data) {
    std::copy(data.begin(), data.end(), page() + 84);
    page()[116] = count;
    page()[117] = kind;
  }

  // The controller's notification routine: counts its calls.
  static inline int controller_calls = 0;
  static void CountCall(HostInterface*) { ++controller_calls; }

  plat::ex::Pool pool{"host"};
  plat::ex::ScopedPool scope{pool};
  HostInterface* host = nullptr;
};

}  // namespace pump::testing
