// The port functions through the table: refusals of missing arguments, the
// escape functions, the configuration, queue status and errors, the event
// mask, the immediate character and the notification callbacks.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string_view>
#include <vector>

#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/port/port_call_wrappers.h"
#include "layer2/corecode/mt/port/port_functions.h"
#include "layer2/corecode/mt/port/uart.h"
#include "layer2/corecode/mt/services/command_interpreter.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {
namespace {

TEST(PortFunctions, TableSlots) {
  PortRig::Run([](PortBlock& port) {
    const PortFunctionTable& table = *port.table;
    EXPECT_EQ(&table, &port.functions);
    EXPECT_EQ(port.slot_count, 25u);
    const void* slots[25];
    std::memcpy(slots, &table, sizeof slots);
    // Filled: 0, 1, 3, 5-9, 11, 12, 15-21; the lifecycle and transfers fill
    // 2, 4, 13, 14 and 23; 10, 22 and 24 stay empty.
    for (int slot = 0; slot < 25; ++slot) {
      const bool filled = slot == 0 || slot == 1 || slot == 3 || (slot >= 5 && slot <= 9) ||
                          slot == 11 || slot == 12 || (slot >= 15 && slot <= 21);
      EXPECT_EQ(slots[slot] != nullptr, filled) << "slot " << slot;
    }
  });
}

// Each slot given no port block, and each given a missing pointer, fails
// with -21 in the port's last error.
TEST(PortFunctions, MissingPortOrPointer) {
  std::atomic<std::uint32_t> word{0};
  std::atomic<std::uint8_t> msr{0};
  SerialDcb dcb = kDefaultSerialDcb;
  QueueStatus status{};
  CommProperties properties{};
  CommConfig config{};
  std::uint32_t value = 0;
  std::uint32_t size = sizeof config;
  struct Case {
    const char* name;
    std::function<bool(const PortFunctionTable&, PortBlock*)> call;
    bool pointer_case;  // the port is given, a pointer is missing
  };
  const Case cases[] = {
      {"0 set_comm_state", [&](auto& t, PortBlock* p) { return t.set_comm_state(p, &dcb, 1); }, false},
      {"0 without dcb", [&](auto& t, PortBlock* p) { return t.set_comm_state(p, nullptr, 1); }, true},
      {"1 get_comm_state", [&](auto& t, PortBlock* p) { return t.get_comm_state(p, &dcb); }, false},
      {"1 without dcb", [&](auto& t, PortBlock* p) { return t.get_comm_state(p, nullptr); }, true},
      {"3 transmit_char", [&](auto& t, PortBlock* p) { return t.transmit_char(p, 'a'); }, false},
      {"5 get_queue_status", [&](auto& t, PortBlock* p) { return t.get_queue_status(p, &status); }, false},
      {"5 without status", [&](auto& t, PortBlock* p) { return t.get_queue_status(p, nullptr); }, true},
      {"6 clear_error", [&](auto& t, PortBlock* p) { return t.clear_error(p, &status, &value); }, false},
      {"6 without error cell", [&](auto& t, PortBlock* p) { return t.clear_error(p, &status, nullptr); }, true},
      {"7 set_modem_status_shadow", [&](auto& t, PortBlock* p) { return t.set_modem_status_shadow(p, &msr); }, false},
      {"7 without byte", [&](auto& t, PortBlock* p) { return t.set_modem_status_shadow(p, nullptr); }, true},
      {"8 get_properties", [&](auto& t, PortBlock* p) { return t.get_properties(p, &properties); }, false},
      {"8 without record", [&](auto& t, PortBlock* p) { return t.get_properties(p, nullptr); }, true},
      {"9 escape", [&](auto& t, PortBlock* p) { return t.escape(p, kEscapeSetRts, 0, nullptr); }, false},
      {"11 set_event_mask", [&](auto& t, PortBlock* p) { return t.set_event_mask(p, 1, &word); }, false},
      {"12 get_event_mask", [&](auto& t, PortBlock* p) { return t.get_event_mask(p, 0, &value); }, false},
      {"12 without cell", [&](auto& t, PortBlock* p) { return t.get_event_mask(p, 0, nullptr); }, true},
      {"15 enable_notification", [&](auto& t, PortBlock* p) { return t.enable_notification(p, nullptr, nullptr); }, false},
      {"16 set_read_callback", [&](auto& t, PortBlock* p) { return t.set_read_callback(p, 1, nullptr, nullptr); }, false},
      {"17 set_write_callback", [&](auto& t, PortBlock* p) { return t.set_write_callback(p, 1, nullptr, nullptr); }, false},
      {"18 get_modem_status", [&](auto& t, PortBlock* p) { return t.get_modem_status(p, &value); }, false},
      {"18 without cell", [&](auto& t, PortBlock* p) { return t.get_modem_status(p, nullptr); }, true},
      {"19 get_comm_config", [&](auto& t, PortBlock* p) { return t.get_comm_config(p, &config, &size); }, false},
      {"20 set_comm_config", [&](auto& t, PortBlock* p) { return t.set_comm_config(p, &config, 48); }, false},
      {"20 without config", [&](auto& t, PortBlock* p) { return t.set_comm_config(p, nullptr, 48); }, true},
  };
  PortRig::Run([&](PortBlock& port) {
    for (const Case& c : cases) {
      port.last_error.store(kPortOk);
      EXPECT_FALSE(c.call(*port.table, c.pointer_case ? &port : nullptr)) << c.name;
      EXPECT_EQ(PortLastError(port), kPortMissing) << c.name;
    }
    // No error where there is nothing to answer into.
    port.last_error.store(kPortBadByteSize);
    EXPECT_FALSE(port_get_comm_config(&port, nullptr, &size));
    EXPECT_FALSE(port_get_comm_config(&port, &config, nullptr));
    EXPECT_FALSE(port_get_error(&port, nullptr));
    std::int32_t error = 0;
    EXPECT_FALSE(port_get_error(nullptr, &error));
    EXPECT_EQ(PortLastError(port), kPortBadByteSize);
  });
}

TEST(PortFunctions, Escapes) {
  struct Case {
    std::uint32_t function;
    bool result;
    std::int32_t error;
  };
  std::vector<Case> cases;
  for (std::uint32_t f : {1u, 2u, 3u, 4u, 5u, 6u, 12u, 13u}) cases.push_back({f, true, kPortOk});
  for (std::uint32_t f : {7u, 9u, 14u, 15u, 16u, 17u, 18u, 19u, 20u, 21u, 200u}) {
    cases.push_back({f, false, kPortUnsupported});
  }
  for (std::uint32_t f : {0u, 8u, 10u, 11u, 22u, 199u, 201u, 0xABFAAu, 0xABFACu}) {
    cases.push_back({f, false, kPortUnsupported});
  }
  cases.push_back({0xABFAB, true, kPortUnsupported});
  PortRig::Run([&](PortBlock& port) {
    for (const Case& c : cases) {
      port.last_error.store(kPortMissing);
      std::uint32_t value = 0x5A5A;
      EXPECT_EQ(port_escape(&port, c.function, 7, &value), c.result) << c.function;
      EXPECT_EQ(PortLastError(port), c.error) << c.function;
      EXPECT_EQ(value, 0x5A5Au) << c.function;
    }
  });
}

TEST(PortFunctions, EscapeEffects) {
  struct Case {
    std::uint32_t function;
    std::uint8_t flow, rts, dtr, break_in;
    std::vector<std::string_view> dte_calls;
  };
  // From RTS and DTR on and no hold; 13 after 12.
  const Case cases[] = {
      {kEscapeSetXoff, kFlowHeldByXoff, 1, 1, 0, {}},
      {kEscapeSetXon, 0, 1, 1, 0, {}},
      {kEscapeSetRts, 0, 1, 1, 0, {}},
      {kEscapeClrRts, 0, 0, 1, 0, {"dte_online_rts_changed"}},
      {kEscapeSetDtr, 0, 1, 1, 0, {}},
      {kEscapeClrDtr, 0, 1, 0, 0, {}},
      {kEscapeBreakOn, kFlowBreakIn, 1, 1, 1, {"dte_break_line_changed"}},
  };
  for (const Case& c : cases) {
    PortRig::Run([&](PortBlock& port) {
      ASSERT_TRUE(port_escape(&port, c.function, 0, nullptr));
      EXPECT_EQ(port.flow.load(), c.flow) << c.function;
      EXPECT_EQ(uart_line_get(kLineRts), c.rts) << c.function;
      EXPECT_EQ(uart_line_get(kLineDtr), c.dtr) << c.function;
      EXPECT_EQ(uart_line_get(kLineBreakIn), c.break_in) << c.function;
      EXPECT_EQ(PendingNames(), c.dte_calls) << c.function;
    });
  }
  PortRig::Run([](PortBlock& port) {
    ASSERT_TRUE(port_escape(&port, kEscapeSetXoff, 0, nullptr));
    ASSERT_TRUE(port_escape(&port, kEscapeSetXon, 0, nullptr));
    EXPECT_EQ(port.flow.load(), 0);
  });
}

TEST(PortFunctions, CommConfig) {
  PortRig::Run([](PortBlock& port) {
    CommConfig config{};
    std::uint32_t size = 40;
    EXPECT_FALSE(port_get_comm_config(&port, &config, &size));
    EXPECT_EQ(size, 48u);
    EXPECT_EQ(PortLastError(port), kPortMissing);

    size = 64;
    ASSERT_TRUE(port_get_comm_config(&port, &config, &size));
    EXPECT_EQ(size, 48u);
    EXPECT_EQ(+config.size, 48u);
    EXPECT_EQ(+config.version, 0x100);
    EXPECT_EQ(+config.reserved, 0);
    EXPECT_EQ(+config.provider_subtype, 1u);
    EXPECT_EQ(+config.provider_offset, 0u);
    EXPECT_EQ(+config.provider_size, 0u);
    // The default settings: binary and parity check; DTR and RTS control
    // disabled (no control flags); limits cut to 16 bits.
    const CommDcb& dcb = config.dcb;
    EXPECT_EQ(+dcb.length, 28u);
    EXPECT_EQ(+dcb.baud, 38400u);
    EXPECT_EQ(+dcb.flags, 0x0003u);
    EXPECT_EQ(+dcb.xon_limit, 0xFFFF);
    EXPECT_EQ(+dcb.xoff_limit, 0xFFFF);
    EXPECT_EQ(+dcb.byte_size, 8);
    EXPECT_EQ(+dcb.xon_char, 17);
    EXPECT_EQ(+dcb.xoff_char, 19);
    EXPECT_EQ(+dcb.eof_char, 26);

    // Setting it back: below 48 refused, else applied with every field.
    config.dcb.baud = 0xFF16;
    config.dcb.flags = kCommBinary | kCommRtsHandshake | kCommDtrEnable;
    config.dcb.xoff_limit = 1000;
    EXPECT_FALSE(port_set_comm_config(&port, &config, 47));
    EXPECT_EQ(PortLastError(port), kPortMissing);
    EXPECT_EQ(+port.dcb.baud, 38400u);
    ASSERT_TRUE(port_set_comm_config(&port, &config, 48));
    EXPECT_EQ(+port.dcb.baud, 0xFF16u);
    EXPECT_EQ(uart_get_baud(), 9600u);
    EXPECT_EQ(+port.dcb.flags, kDcbBinary | kDcbRtsHandshake | kDcbDtrEnable);
    EXPECT_EQ(port.input_handshake.load(), kInputRts);
    EXPECT_EQ(port.flow_threshold.load(), 4096u - 1000u);

    config.dcb.byte_size = 4;
    EXPECT_FALSE(port_set_comm_config(&port, &config, 48));
    EXPECT_EQ(PortLastError(port), kPortBadByteSize);
  });
}

TEST(PortFunctions, QueueStatusAndClearError) {
  struct Case {
    const char* name;
    std::function<void(PortBlock&)> make;
    std::uint32_t flags;
  };
  auto settings = [](PortBlock& port, std::uint32_t flags) {
    SerialDcb dcb = kDefaultSerialDcb;
    dcb.flags = flags;
    dcb.xoff_limit = 4095;
    ASSERT_TRUE(port_set_comm_state(&port, &dcb, kFieldFlags | kFieldXoffLimit));
  };
  const Case cases[] = {
      {"nothing", [](PortBlock&) {}, 0},
      {"waiting for CTS", [&](PortBlock& p) { settings(p, 0x1 | 0x8); }, kQueueHeldForCts},
      {"waiting for DSR", [&](PortBlock& p) { settings(p, 0x1 | 0x10); }, kQueueHeldForDsr},
      {"waiting for both", [&](PortBlock& p) { settings(p, 0x1 | 0x18); },
       kQueueHeldForCts | kQueueHeldForDsr},
      {"CTS there, waiting for DSR",
       [&](PortBlock& p) {
         settings(p, 0x1 | 0x18);
         uart_cts_on();
       },
       kQueueHeldForDsr},
      {"DSR there, waiting for CTS",
       [&](PortBlock& p) {
         settings(p, 0x1 | 0x18);
         uart_dsr_on();
       },
       kQueueHeldForCts},
      {"held by XOFF", [](PortBlock& p) { port_escape(&p, kEscapeSetXoff, 0, nullptr); },
       kQueueHeldByXoff},
      {"XOFF sent",
       [&](PortBlock& p) {
         settings(p, 0x1 | 0x200);
         uart_rx_char('x');
       },
       kQueueXoffSent},
      {"end-of-file seen",
       [&](PortBlock& p) {
         settings(p, 0);
         uart_rx_char(26);
       },
       kQueueEofSeen},
      {"immediate character waits",
       [](PortBlock& p) {
         acu_running().store(0);
         port_transmit_char(&p, 'i');
       },
       kQueueImmediateWaits},
  };
  for (const Case& c : cases) {
    PortRig::Run([&](PortBlock& port) {
      SCOPED_TRACE(c.name);
      c.make(port);
      const std::uint8_t data[] = {1, 2, 3};
      ASSERT_EQ(uart_tx_put(data), 3u);
      QueueStatus status{};
      ASSERT_TRUE(port_get_queue_status(&port, &status));
      EXPECT_EQ(+status.flags, c.flags);
      EXPECT_EQ(+status.rx_count, uart_rx_count());
      EXPECT_EQ(+status.tx_count, 3u);
    });
  }
  PortRig::Run([](PortBlock& port) {
    for (int i = 0; i < 4097; ++i) uart_rx_char('o');
    uart_break_out_off();
    QueueStatus status{};
    std::uint32_t errors = 0;
    ASSERT_TRUE(port_clear_error(&port, &status, &errors));
    EXPECT_EQ(errors, kCommErrorOverrun | kCommErrorBreak);
    EXPECT_EQ(+status.rx_count, 4096u);
    ASSERT_TRUE(port_clear_error(&port, nullptr, &errors));
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(port_call_clear_error(&port, nullptr, &errors), STATUS_SUCCESS);
  });
}

// The mask and the word: events recorded into the word given, read and
// cleared bit by bit.
TEST(PortFunctions, EventMask) {
  PortRig::Run([](PortBlock& port) {
    std::atomic<std::uint32_t> word{0};
    ASSERT_TRUE(port_set_event_mask(&port, kEventDsr, &word));
    EXPECT_EQ(port.event_mask.load(), kEventDsr);
    uart_dsr_on();
    uart_rx_char('c');
    EXPECT_EQ(word.load(), kEventDsr | kEventDsrOn | kEventRxChar);
    EXPECT_EQ(port.own_event_word.load(), 0u);
    // A null word keeps the word; the mask changes.
    ASSERT_TRUE(port_set_event_mask(&port, kEventRxChar, nullptr));
    EXPECT_EQ(port.event_word.load(), &word);
    std::uint32_t events = 0;
    ASSERT_TRUE(port_get_event_mask(&port, kEventDsrOn | kEventRxChar, &events));
    EXPECT_EQ(events, kEventDsr | kEventDsrOn | kEventRxChar);
    EXPECT_EQ(word.load(), kEventDsr);
  });
}

TEST(PortFunctions, ImmediateCharacter) {
  PortRig::Run([](PortBlock& port) {
    ASSERT_TRUE(port_transmit_char(&port, 'a'));
    EXPECT_EQ(Delivered(), std::vector<std::uint8_t>{'a'});
    acu_running().store(0);
    ASSERT_TRUE(port_transmit_char(&port, 'b'));
    EXPECT_FALSE(port_transmit_char(&port, 'c'));
    EXPECT_EQ(PortLastError(port), kPortImmediateWaits);
    // The drain delivers it ahead of the queue once the controller runs.
    const std::uint8_t data[] = {'d'};
    uart_tx_put(data);
    acu_running().store(1);
    qor_rx_int();
    EXPECT_EQ(Delivered(), std::vector<std::uint8_t>({'a', 'b', 'd'}));
    EXPECT_TRUE(port_transmit_char(&port, 'e'));
    EXPECT_EQ(port_call_transmit_char(&port, 'f'), STATUS_SUCCESS);
  });
}

struct Notified {
  std::vector<std::uint32_t> counts;  // the queue's count at each call
  std::uint32_t kind = 0;
  void* reference = nullptr;
};

void RecordRead(PortBlock*, void* reference, std::uint32_t kind, std::uint32_t) {
  auto* notified = static_cast<Notified*>(reference);
  notified->counts.push_back(uart_rx_count());
  notified->kind = kind;
  notified->reference = reference;
}

void RecordWrite(PortBlock*, void* reference, std::uint32_t kind, std::uint32_t) {
  auto* notified = static_cast<Notified*>(reference);
  notified->counts.push_back(uart_tx_count());
  notified->kind = kind;
  notified->reference = reference;
}

TEST(PortFunctions, ReadCallbackThresholds) {
  struct Case {
    std::uint32_t threshold;
    bool with_callback;
    std::uint32_t stored_threshold;
    std::vector<std::uint32_t> counts;  // the counts it runs at over 6000 characters
  };
  const Case cases[] = {
      {3, true, 3, {3}},
      {5000, true, 4096, {4096}},
      {4097, true, 4096, {4096}},
      {4096, true, 4096, {4096}},
      {4095, true, 4095, {4095}},
      {0xFFFFFFFF, true, 0xFFFFFFFF, {}},
      {3, false, 0xFFFFFFFF, {}},
  };
  for (const Case& c : cases) {
    PortRig::Run([&](PortBlock& port) {
      Notified notified;
      ASSERT_TRUE(port_set_read_callback(&port, c.threshold, c.with_callback ? RecordRead : nullptr,
                                         &notified));
      EXPECT_EQ(port.notifications.read.threshold.load(), c.stored_threshold);
      EXPECT_EQ(port.notifications.read.armed.load(), c.stored_threshold != 0xFFFFFFFF ? 1 : 0);
      for (int i = 0; i < 6000; ++i) uart_rx_char('r');
      EXPECT_EQ(notified.counts, c.counts) << c.threshold;
      if (!c.counts.empty()) {
        EXPECT_EQ(notified.kind, kNotifyRead);
        EXPECT_EQ(notified.reference, &notified);
      }
    });
  }
  // Read below the threshold, the next arrival at it runs it again.
  PortRig::Run([](PortBlock& port) {
    Notified notified;
    ASSERT_TRUE(port_set_read_callback(&port, 2, RecordRead, &notified));
    for (int i = 0; i < 3; ++i) uart_rx_char('r');
    std::uint8_t buffer[3];
    ASSERT_EQ(uart_rx_get(buffer), 3u);
    for (int i = 0; i < 3; ++i) uart_rx_char('s');
    EXPECT_EQ(notified.counts, std::vector<std::uint32_t>({2, 2}));
    // Re-set with more queued than the threshold: given again at the next.
    ASSERT_TRUE(port_set_read_callback(&port, 2, RecordRead, &notified));
    uart_rx_char('t');
    EXPECT_EQ(notified.counts, std::vector<std::uint32_t>({2, 2, 4}));
  });
}

TEST(PortFunctions, WriteCallbackThresholds) {
  PortRig::Run([](PortBlock& port) {
    Notified notified;
    ASSERT_TRUE(port_set_write_callback(&port, 9000, RecordWrite, &notified));
    EXPECT_EQ(port.notifications.write.threshold.load(), 4096u);
    ASSERT_TRUE(port_set_write_callback(&port, 4, RecordWrite, &notified));
    EXPECT_EQ(port.notifications.write.threshold.load(), 4u);
    // Below the threshold when set: counted as given already.
    EXPECT_NE(port.notification_flags.load() & kNotifiedWrite, 0u);
    const std::uint8_t data[6] = {1, 2, 3, 4, 5, 6};
    uart_tx_put(data);
    port.notification_flags.fetch_and(~kNotifiedWrite);  // the write path's re-arm
    qor_rx_int();
    EXPECT_EQ(notified.counts, std::vector<std::uint32_t>{0});
    EXPECT_EQ(notified.kind, kNotifyWrite);
    qor_rx_int();
    EXPECT_EQ(notified.counts.size(), 1u);
    ASSERT_TRUE(port_set_write_callback(&port, 4, nullptr, &notified));
    EXPECT_EQ(port.notifications.write.threshold.load(), 0xFFFFFFFFu);
    EXPECT_EQ(port.notifications.write.armed.load(), 0);
  });
}

TEST(PortFunctions, ModemStatusAndShadow) {
  PortRig::Run([](PortBlock& port) {
    std::uint32_t status = 0xFF;
    ASSERT_TRUE(port_get_modem_status(&port, &status));
    EXPECT_EQ(status, 0u);
    uart_cts_on();
    uart_dcd_on();
    ASSERT_TRUE(port_get_modem_status(&port, &status));
    EXPECT_EQ(status, SERIAL_CTS_STATE | SERIAL_DCD_STATE);
    EXPECT_EQ(port_call_get_modem_status(&port, &status), STATUS_SUCCESS);
    // Moved to another byte: rebuilt there at once, its delta bits kept.
    std::atomic<std::uint8_t> elsewhere{kMsrDeltaDsr | kMsrRi};
    ASSERT_TRUE(port_set_modem_status_shadow(&port, &elsewhere));
    EXPECT_EQ(elsewhere.load(), kMsrDeltaDsr | kMsrCts | kMsrDcd);
    EXPECT_EQ(port.msr_shadow.load(), elsewhere.load());
    uart_ri_on();
    EXPECT_EQ(elsewhere.load(), kMsrDeltaDsr | kMsrCts | kMsrDcd | kMsrRi);
  });
}

// What the lifecycle's slots are handed by their wrappers, recorded by
// slot functions of the test's own.
struct LifecycleCalls {
  std::vector<std::uint32_t> setup;  // read buffer null, read size, write buffer null, write size
  std::int32_t open_error_cell = 0;
  bool open_answers = true;
};

LifecycleCalls& Lifecycle() { return MachineState<LifecycleCalls>(); }

bool RecordSetup(PortBlock*, std::uint8_t* read_buffer, std::uint32_t read_size,
                 std::uint8_t* write_buffer, std::uint32_t write_size) {
  Lifecycle().setup = {read_buffer == nullptr ? 0u : 1u, read_size,
                       write_buffer == nullptr ? 0u : 1u, write_size};
  return true;
}

PortBlock* RecordOpen(const std::uint8_t* identifier, std::uint32_t argument, std::int32_t* error) {
  EXPECT_EQ(identifier, nullptr);
  EXPECT_EQ(argument, 0u);
  Lifecycle().open_error_cell = *error;
  return Lifecycle().open_answers ? &port_block() : nullptr;
}

TEST(PortFunctions, LifecycleWrappers) {
  PortRig::Run([](PortBlock& port) {
    port.functions.setup = RecordSetup;
    port.functions.open = RecordOpen;
    EXPECT_EQ(port_call_setup(&port, 8192, 9000), STATUS_SUCCESS);
    EXPECT_EQ(Lifecycle().setup, std::vector<std::uint32_t>({0, 8192, 0, 4096}));
    EXPECT_EQ(port_call_setup(&port, 100, 1024), STATUS_SUCCESS);
    EXPECT_EQ(Lifecycle().setup, std::vector<std::uint32_t>({0, 100, 0, 1024}));
    Lifecycle().open_answers = false;
    EXPECT_EQ(port_call_open(&port), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(Lifecycle().open_error_cell, 1);
    EXPECT_EQ(port_state().port_opened.load(), 0);
    Lifecycle().open_answers = true;
    EXPECT_EQ(port_call_open(&port), STATUS_SUCCESS);
    EXPECT_EQ(port_state().port_opened.load(), 1);
  });
}

// The wrappers: success, a false result, a missing slot, a missing port.
TEST(PortFunctions, CallWrappers) {
  PortRig::Run([](PortBlock& port) {
    SerialDcb dcb = kDefaultSerialDcb;
    EXPECT_EQ(port_call_get_state(&port, &dcb), STATUS_SUCCESS);
    dcb.parity = 9;
    EXPECT_EQ(port_call_set_state(&port, &dcb, kFieldParity), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(PortLastError(port), kPortBadParameter);
    EXPECT_EQ(port_call_set_state(nullptr, &dcb, kFieldParity), STATUS_UNSUCCESSFUL);
    CommProperties properties{};
    EXPECT_EQ(port_call_get_properties(&port, &properties), STATUS_SUCCESS);
    EXPECT_EQ(port_call_escape(&port, kEscapeClrDtr), STATUS_SUCCESS);
    EXPECT_EQ(uart_line_get(kLineDtr), 0);
    EXPECT_EQ(port_call_escape(&port, 7), STATUS_UNSUCCESSFUL);
    // Not filled until the port's lifecycle exists.
    EXPECT_EQ(port_call_open(&port), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(port_state().port_opened.load(), 0);
    EXPECT_EQ(port_call_close(&port), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(port_call_setup(&port, 4096, 1024), STATUS_UNSUCCESSFUL);

    SERIAL_TIMEOUTS timeouts{};
    ASSERT_EQ(port_call_timeouts(&port, kTimeoutsGet, &timeouts), STATUS_SUCCESS);
    EXPECT_EQ(+timeouts.ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(+timeouts.WriteTotalTimeoutConstant, 0u);
    timeouts = {1, 2, 3, 4, 5};
    ASSERT_EQ(port_call_timeouts(&port, kTimeoutsSet, &timeouts), STATUS_SUCCESS);
    EXPECT_EQ(+port.timeouts.ReadTotalTimeoutConstant, 3u);
    EXPECT_EQ(port_call_timeouts(&port, 2, &timeouts), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(port_call_timeouts(&port, kTimeoutsGet, nullptr), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(port_call_timeouts(nullptr, kTimeoutsGet, &timeouts), STATUS_UNSUCCESSFUL);
  });
}

}  // namespace
}  // namespace vxctl::testing
