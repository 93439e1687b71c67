// reg_read_value and reg_write_value on a booted machine: sizes against the
// caller's buffer (the query buffer's rounding differs with the name's
// length), the three kinds, the open modes and the failures.
#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "layer2/corecode/mt/frame/frame.h"
#include "layer2/corecode/mt/registry/reg_settings.h"
#include "layer2/corecode/mt/registry/reg_value.h"
#include "layer2/corecode/mt/registry/tests/registry_machine.h"
#include "platform/reg/machine_registry.h"

namespace vxctl::testing {
namespace {

// "Hi!" as REG_SZ is 8 bytes with its terminator.
const std::string kValues = Parameters(
    "\"Dw\"=dword:0x04030201\n"
    "\"Dwx\"=dword:0x04030201\n"
    "\"B5\"=binary:0a 0b 0c 0d 0e\n"
    "\"B5x\"=binary:0a 0b 0c 0d 0e\n"
    "\"Sz\"=sz:\"Hi!\"\n");

constexpr std::uint8_t kGuard = 0xEE;
constexpr int kOtherKind = 7;

const SerialDeviceExtension* Context() {
  return static_cast<const SerialDeviceExtension*>(reg_settings().context.load());
}

struct ReadCase {
  const char* name;
  ULONG size;  // the caller's room
  int kind;
  int open_mode;
  std::uint32_t result;
  std::vector<std::uint8_t> bytes;  // what the buffer holds afterwards
  ULONG size_out;
};

class RegReadValue : public RegMachineTest {};

TEST_F(RegReadValue, SizeKindAndOpenModeGiveResultAndBytes) {
  const std::vector<std::uint8_t> dword{1, 2, 3, 4};
  const std::vector<std::uint8_t> bin5{0x0a, 0x0b, 0x0c, 0x0d, 0x0e};
  const std::vector<std::uint8_t> sz_utf16{'H', 0, 'i', 0, '!', 0, 0, 0};
  const std::vector<ReadCase> cases = {
      // DWORD, even and odd name lengths: equal, larger room, 1 and 2 short.
      {"Dw", 4, kRegKindRaw, 0, kRegOk, dword, 4},
      {"Dw", 8, kRegKindRaw, 0, kRegOk, dword, 4},
      {"Dw", 3, kRegKindRaw, 0, kRegFailed, {}, 3},
      {"Dw", 2, kRegKindRaw, 0, kRegFailed, {}, 2},
      {"Dwx", 3, kRegKindRaw, 0, kRegFailed, {}, 3},
      {"Dwx", 4, kRegKindRaw, 1, kRegOk, dword, 4},
      // A DWORD read as a one-byte switch is absent.
      {"Dw", 1, kRegKindRaw, 0, kRegFailed, {}, 1},
      // BINARY of 5.
      {"B5", 5, kRegKindRaw, 0, kRegOk, bin5, 5},
      {"B5", 6, kOtherKind, 0, kRegOk, bin5, 5},
      {"B5", 4, kRegKindRaw, 0, kRegFailed, {}, 4},
      {"B5", 3, kRegKindRaw, 0, kRegFailed, {}, 3},
      {"B5x", 4, kRegKindRaw, 0, kRegFailed, {}, 4},
      {"B5x", 3, kRegKindRaw, 0, kRegFailed, {}, 3},
      {"B5x", 5, kRegKindRaw, 1, kRegOk, bin5, 5},
      // SZ: ANSI characters, UTF-16 bytes with the ANSI length, raw.
      {"Sz", 8, kRegKindAnsi, 0, kRegOk, {'H', 'i', '!'}, 3},
      {"Sz", 8, kRegKindUnicode, 0, kRegOk, sz_utf16, 3},
      {"Sz", 8, kOtherKind, 0, kRegOk, sz_utf16, 8},
      {"Sz", 7, kRegKindAnsi, 0, kRegFailed, {}, 7},
      {"Sz", 6, kRegKindUnicode, 0, kRegFailed, {}, 6},
      // Open modes other than 0 and 1 fail.
      {"B5", 5, kRegKindRaw, 2, kRegFailed, {}, 5},
      {"Dw", 4, kRegKindRaw, -1, kRegFailed, {}, 4},
      // Missing value.
      {"Nothing", 4, kRegKindRaw, 0, kRegFailed, {}, 4},
  };
  BootWith(kValues);
  RunOn([&] {
    for (const ReadCase& c : cases) {
      SCOPED_TRACE(::testing::Message() << c.name << " size " << c.size << " kind " << c.kind
                                        << " mode " << c.open_mode);
      std::array<std::uint8_t, 16> buffer;
      buffer.fill(kGuard);
      ULONG size = c.size;
      EXPECT_EQ(
          reg_read_value(Context(), nullptr, c.name, c.kind, buffer.data(), &size, c.open_mode),
          c.result);
      EXPECT_EQ(size, c.size_out);
      std::vector<std::uint8_t> expected = c.bytes;
      expected.resize(buffer.size(), kGuard);
      EXPECT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.end()), expected);
    }
  });
}

TEST_F(RegReadValue, MissingKeyInjectedFailuresAndNoContextFail) {
  BootWith(kValues);
  plat::reg::RegistryService& service = plat::reg::RegistryOf(kernel());
  RunOn([&] {
    std::uint8_t byte = kGuard;
    ULONG size = 4;
    std::array<std::uint8_t, 4> buffer{};
    EXPECT_EQ(reg_read_value(Context(), "\\Missing", "Dw", kRegKindRaw, buffer.data(), &size, 0),
              kRegFailed);
    service.faults.FailNth("ZwOpenKey", 1, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(reg_read_value(Context(), nullptr, "Dw", kRegKindRaw, buffer.data(), &size, 0),
              kRegFailed);
    service.faults.FailNth("ZwQueryValueKey", 1, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(reg_read_value(Context(), nullptr, "Dw", kRegKindRaw, buffer.data(), &size, 0),
              kRegFailed);
    EXPECT_EQ(buffer, (std::array<std::uint8_t, 4>{}));
    EXPECT_EQ(reg_read_value(nullptr, nullptr, "Dw", kRegKindRaw, buffer.data(), &size, 0),
              kRegFailed);
    // The knobs are spent: the same read now succeeds.
    size = 1;
    EXPECT_EQ(reg_read_value(Context(), nullptr, "B5", kRegKindRaw, &byte, &size, 0), kRegFailed);
    size = 4;
    EXPECT_EQ(reg_read_value(Context(), nullptr, "Dw", kRegKindRaw, buffer.data(), &size, 0),
              kRegOk);
  });
}

TEST_F(RegReadValue, WrittenValueReadsBackAndWriteFailuresGive19) {
  BootWith("");
  plat::reg::RegistryService& service = plat::reg::RegistryOf(kernel());
  RunOn([&] {
    const std::array<std::uint8_t, 3> data{7, 8, 9};
    EXPECT_EQ(reg_write_value(Context(), nullptr, "Three", REG_BINARY, data.data(), 3), kRegOk);
    std::array<std::uint8_t, 3> back{};
    ULONG size = 3;
    EXPECT_EQ(reg_read_value(Context(), nullptr, "Three", kRegKindRaw, back.data(), &size, 0),
              kRegOk);
    EXPECT_EQ(back, data);
    EXPECT_EQ(reg_write_value(Context(), "\\Missing", "Three", REG_BINARY, data.data(), 3),
              kRegFailed);
    EXPECT_EQ(reg_write_value(nullptr, nullptr, "Three", REG_BINARY, data.data(), 3), kRegFailed);
    service.faults.FailNth("RtlWriteRegistryValue", 1, STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(reg_write_value(Context(), nullptr, "Four", REG_BINARY, data.data(), 3), kRegFailed);
  });
  EXPECT_EQ(RegistryValue(kernel(), kParametersKey, u"Four"), std::nullopt);
}

}  // namespace
}  // namespace vxctl::testing
