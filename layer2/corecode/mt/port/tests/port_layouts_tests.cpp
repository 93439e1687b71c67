// The records' layouts as the requests carry them, the settings every open
// starts from, and the properties the port reports.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "layer2/corecode/mt/port/port_functions.h"
#include "layer2/corecode/mt/port/port_layouts.h"
#include "layer2/corecode/mt/tests/support/port_rig.h"

namespace vxctl::testing {
namespace {

struct FieldAt {
  const char* name;
  std::size_t offset;
  std::size_t expected;
};

void ExpectOffsets(std::initializer_list<FieldAt> fields) {
  for (const FieldAt& field : fields) EXPECT_EQ(field.offset, field.expected) << field.name;
}

TEST(PortLayouts, Sizes) {
  EXPECT_EQ(sizeof(SerialDcb), 51u);
  EXPECT_EQ(sizeof(CommDcb), 28u);
  EXPECT_EQ(sizeof(CommConfig), 48u);
  EXPECT_EQ(sizeof(CommProperties), 62u);
  EXPECT_EQ(sizeof(QueueStatus), 12u);
}

TEST(PortLayouts, SerialDcbFields) {
  ExpectOffsets({
      {"length", offsetof(SerialDcb, length), 0},
      {"baud", offsetof(SerialDcb, baud), 4},
      {"flags", offsetof(SerialDcb, flags), 8},
      {"xon_limit", offsetof(SerialDcb, xon_limit), 12},
      {"xoff_limit", offsetof(SerialDcb, xoff_limit), 16},
      {"reserved", offsetof(SerialDcb, reserved), 20},
      {"byte_size", offsetof(SerialDcb, byte_size), 24},
      {"parity", offsetof(SerialDcb, parity), 25},
      {"stop_bits", offsetof(SerialDcb, stop_bits), 26},
      {"xon_char", offsetof(SerialDcb, xon_char), 27},
      {"xoff_char", offsetof(SerialDcb, xoff_char), 28},
      {"error_char", offsetof(SerialDcb, error_char), 29},
      {"eof_char", offsetof(SerialDcb, eof_char), 30},
      {"event_char1", offsetof(SerialDcb, event_char1), 31},
      {"event_char2", offsetof(SerialDcb, event_char2), 32},
      {"reserved2", offsetof(SerialDcb, reserved2), 33},
      {"dcd_timeout", offsetof(SerialDcb, dcd_timeout), 35},
      {"cts_timeout", offsetof(SerialDcb, cts_timeout), 39},
      {"dsr_timeout", offsetof(SerialDcb, dsr_timeout), 43},
      {"transmit_delay", offsetof(SerialDcb, transmit_delay), 47},
  });
}

TEST(PortLayouts, CommDcbAndConfigFields) {
  ExpectOffsets({
      {"length", offsetof(CommDcb, length), 0},
      {"baud", offsetof(CommDcb, baud), 4},
      {"flags", offsetof(CommDcb, flags), 8},
      {"reserved", offsetof(CommDcb, reserved), 12},
      {"xon_limit", offsetof(CommDcb, xon_limit), 14},
      {"xoff_limit", offsetof(CommDcb, xoff_limit), 16},
      {"byte_size", offsetof(CommDcb, byte_size), 18},
      {"parity", offsetof(CommDcb, parity), 19},
      {"stop_bits", offsetof(CommDcb, stop_bits), 20},
      {"xon_char", offsetof(CommDcb, xon_char), 21},
      {"xoff_char", offsetof(CommDcb, xoff_char), 22},
      {"error_char", offsetof(CommDcb, error_char), 23},
      {"eof_char", offsetof(CommDcb, eof_char), 24},
      {"event_char", offsetof(CommDcb, event_char), 25},
      {"reserved2", offsetof(CommDcb, reserved2), 26},
  });
  ExpectOffsets({
      {"size", offsetof(CommConfig, size), 0},
      {"version", offsetof(CommConfig, version), 4},
      {"reserved", offsetof(CommConfig, reserved), 6},
      {"dcb", offsetof(CommConfig, dcb), 8},
      {"provider_subtype", offsetof(CommConfig, provider_subtype), 36},
      {"provider_offset", offsetof(CommConfig, provider_offset), 40},
      {"provider_size", offsetof(CommConfig, provider_size), 44},
  });
}

TEST(PortLayouts, PropertiesAndQueueStatusFields) {
  ExpectOffsets({
      {"length", offsetof(CommProperties, length), 0},
      {"version", offsetof(CommProperties, version), 2},
      {"service_mask", offsetof(CommProperties, service_mask), 4},
      {"reserved", offsetof(CommProperties, reserved), 8},
      {"max_tx_queue", offsetof(CommProperties, max_tx_queue), 12},
      {"max_rx_queue", offsetof(CommProperties, max_rx_queue), 16},
      {"max_baud", offsetof(CommProperties, max_baud), 20},
      {"provider_subtype", offsetof(CommProperties, provider_subtype), 24},
      {"capabilities", offsetof(CommProperties, capabilities), 28},
      {"settable_params", offsetof(CommProperties, settable_params), 32},
      {"settable_baud", offsetof(CommProperties, settable_baud), 36},
      {"settable_data", offsetof(CommProperties, settable_data), 40},
      {"settable_stop_parity", offsetof(CommProperties, settable_stop_parity), 42},
      {"current_tx_queue", offsetof(CommProperties, current_tx_queue), 44},
      {"current_rx_queue", offsetof(CommProperties, current_rx_queue), 48},
      {"provider_spec1", offsetof(CommProperties, provider_spec1), 52},
      {"provider_spec2", offsetof(CommProperties, provider_spec2), 56},
      {"provider_char", offsetof(CommProperties, provider_char), 60},
  });
  ExpectOffsets({
      {"flags", offsetof(QueueStatus, flags), 0},
      {"rx_count", offsetof(QueueStatus, rx_count), 4},
      {"tx_count", offsetof(QueueStatus, tx_count), 8},
  });
}

// The default settings, byte for byte as the port reports them.
TEST(PortLayouts, DefaultSerialDcb) {
  const std::uint8_t expected[51] = {
      51, 0, 0, 0,                      // length
      0x00, 0x96, 0, 0,                 // 38400
      0x05, 0, 0, 0,                    // binary, parity check
      0xFF, 0xFF, 0xFF, 0xFF,           // XON limit
      0xFF, 0xFF, 0xFF, 0xFF,           // XOFF limit
      0, 0, 0, 0,                       // reserved
      8, 0, 0,                          // byte size, parity, stop bits
      17, 19, 0, 26, 0, 0,              // XON, XOFF, error, end-of-file, events
      0, 0,                             // reserved
      0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // DCD, CTS, DSR time-outs
      0, 0, 0, 0,                       // transmit delay
  };
  PortRig::Run([&](PortBlock& port) {
    SerialDcb dcb{};
    ASSERT_TRUE(port_get_comm_state(&port, &dcb));
    EXPECT_EQ(std::memcmp(&dcb, expected, sizeof expected), 0);
    EXPECT_EQ(std::memcmp(&kDefaultSerialDcb, expected, sizeof expected), 0);
  });
}

TEST(PortLayouts, PropertiesRecord) {
  PortRig::Run([](PortBlock& port) {
    CommProperties properties{};
    ASSERT_TRUE(port_get_properties(&port, &properties));
    EXPECT_EQ(+properties.length, 62);
    EXPECT_EQ(+properties.version, 2);
    EXPECT_EQ(+properties.service_mask, 1u);
    EXPECT_EQ(+properties.reserved, 0u);
    EXPECT_EQ(+properties.max_tx_queue, 0u);
    EXPECT_EQ(+properties.max_rx_queue, 0u);
    EXPECT_EQ(+properties.max_baud, 0x10000000u);
    EXPECT_EQ(+properties.provider_subtype, 1u);
    EXPECT_EQ(+properties.capabilities, 0xFFu);
    EXPECT_EQ(+properties.settable_params, 0x7Fu);
    EXPECT_EQ(+properties.settable_baud, 0x1001FFFFu);
    EXPECT_EQ(+properties.settable_data, 0x000F);
    EXPECT_EQ(+properties.settable_stop_parity, 0x1F07);
    EXPECT_EQ(+properties.current_tx_queue, 4096u);
    EXPECT_EQ(+properties.current_rx_queue, 4096u);
    EXPECT_EQ(+properties.provider_spec1, 10u);
    EXPECT_EQ(+properties.provider_spec2, 11997u);
    EXPECT_EQ(+properties.provider_char, 0);
    std::int32_t error = 1;
    ASSERT_TRUE(port_get_error(&port, &error));
    EXPECT_EQ(error, kPortOk);
  });
}

}  // namespace
}  // namespace vxctl::testing
