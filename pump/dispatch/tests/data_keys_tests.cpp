#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "pump/core/data_keys.h"
#include "pump/dispatch/codec_access.h"
#include "pump/tests/support/afe_calls.h"
#include "pump/tests/support/afe_log.h"
#include "pump/tests/support/key_packets.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using testing::PumpHarness;
using testing::ReceivedPacket;

constexpr std::size_t kMemoryDataMax = 12;  // 16 payload bytes less key and two ignored bytes
constexpr std::size_t kParamDataMax = 14;

std::vector<std::uint8_t> Pattern(std::uint32_t key, std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(key * 31 + i * 7 + 1);
  return bytes;
}

// The keys whose reads or writes are not plain copies.
bool SpecialMemoryKey(std::uint32_t key) {
  return key == kCodecRecordKey || key == kCodecRecordTailKey || key == kDaaSettingAKey ||
         key == kDaaSettingBKey || key == 0x8430;
}

// One key table as the controller reaches it.
struct KeySpace {
  const char* name;
  const DataKey* table;
  std::int32_t count;
  std::size_t data_max;  // data bytes one write carries
  bool (*special)(std::uint32_t key);
  bool (*write)(testing::ControllerDouble&, std::uint32_t, std::span<const std::uint8_t>);
  std::optional<std::vector<std::uint8_t>> (*read)(testing::ControllerDouble&, std::uint32_t);
};

TEST(DataKeys, EveryPlainKeyReadsBackWhatWasWrittenAndAnswersWithItsSize) {
  PumpHarness harness;
  harness.Run([&] {
    const HostInterface& host = harness.Host();
    const KeySpace spaces[] = {
        {"memory", host.mem_key_table, host.mem_key_count, kMemoryDataMax, SpecialMemoryKey,
         testing::WriteMemory, testing::ReadMemory},
        {"parameter", host.param_key_table, host.param_key_count, kParamDataMax, IsWindowKey,
         testing::WriteParam, testing::ReadParam},
    };
    int checked = 0;
    for (const KeySpace& space : spaces) {
      for (const DataKey& entry : std::span(space.table, space.count)) {
        if (space.special(entry.key)) continue;
        SCOPED_TRACE(::testing::Message() << space.name << " key 0x" << std::hex << entry.key);
        const auto data = Pattern(entry.key, std::min<std::size_t>(entry.size, space.data_max));
        EXPECT_TRUE(space.write(harness.Controller(), entry.key, data));
        const auto value = space.read(harness.Controller(), entry.key);
        ASSERT_TRUE(value.has_value());
        ASSERT_EQ(value->size(), entry.size);
        EXPECT_TRUE(std::equal(data.begin(), data.end(), value->begin()));
        ++checked;
      }
    }
    EXPECT_EQ(checked, 155 - 5 + 102 - 32);
  });
}

TEST(DataKeys, UnknownKeysComeBackAsTheRequest) {
  PumpHarness harness;
  harness.Run([&] {
    for (std::uint8_t code = kCpMemoryRead; code <= kCpParamWriteHigh; ++code) {
      SCOPED_TRACE(static_cast<int>(code));
      const std::vector<std::uint8_t> payload = {0x34, 0x12, 0, 0, 9, 9};
      EXPECT_EQ(harness.Controller().Exchange(code, payload),
                (std::vector<ReceivedPacket>{{code, 6, payload}}));
    }
  });
}

struct WriteEffect {
  const char* name;
  std::uint32_t key;
  bool memory;
  std::uint32_t update_flags;
  Pending pending;
  std::int32_t argument;
};

void PrintTo(const WriteEffect& c, std::ostream* out) { *out << c.name; }

class DataKeysWriteEffects : public ::testing::TestWithParam<WriteEffect> {};

TEST_P(DataKeysWriteEffects, AWriteTellsTheModesWhatChanged) {
  const WriteEffect& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    const std::vector<std::uint8_t> data = {0x34, 0x12};
    ASSERT_TRUE(c.memory ? testing::WriteMemory(harness.Controller(), c.key, data)
                         : testing::WriteParam(harness.Controller(), c.key, data));
    EXPECT_EQ(harness.Context().call.update_flags, c.update_flags);
    if (c.update_flags == 0) {
      EXPECT_EQ(harness.Context().pending[c.pending].count, 1u);
      EXPECT_EQ(harness.Context().pending[c.pending].args[0], c.argument);
    }
  });
}

constexpr Pending kNoCall = Pending::kCount;

INSTANTIATE_TEST_SUITE_P(
    Table, DataKeysWriteEffects,
    ::testing::Values(
        WriteEffect{"CallOption0", 0x1600, true, 0x04, kNoCall, 0},
        WriteEffect{"CallOption1", 0x1601, true, 0x01, kNoCall, 0},
        WriteEffect{"V34OptionWord", 0x1602, true, 0x02, kNoCall, 0},
        WriteEffect{"CallOption3", 0x1603, true, 0x08, kNoCall, 0},
        WriteEffect{"ParameterC2", 0xC2, false, 0x10, kNoCall, 0},
        WriteEffect{"ParameterC3", 0xC3, false, 0x40, kNoCall, 0},
        WriteEffect{"ParameterC4", 0xC4, false, 0x20, kNoCall, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Malformed packets -----------------------------------------------------------------

struct MalformedCase {
  const char* name;
  std::uint8_t code;
  std::vector<std::uint8_t> payload;
};

void PrintTo(const MalformedCase& c, std::ostream* out) { *out << c.name; }

class DataKeysMalformed : public ::testing::TestWithParam<MalformedCase> {};

// Every packet here comes back as it was sent, and no key byte changes.
TEST_P(DataKeysMalformed, IsEchoedAndWritesNothing) {
  const MalformedCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    DspContext& context = harness.Context();
    const std::vector<std::uint8_t> before(std::begin(context.unbuilt_keys),
                                           std::end(context.unbuilt_keys));
    const auto level = context.transmit_level;
    const auto profile_bytes = context.line_profile_bytes;
    EXPECT_EQ(harness.Controller().Exchange(c.code, c.payload),
              (std::vector<ReceivedPacket>{
                  {c.code, static_cast<std::uint8_t>(c.payload.size()), c.payload}}));
    EXPECT_TRUE(std::equal(before.begin(), before.end(), std::begin(context.unbuilt_keys)));
    EXPECT_EQ(context.transmit_level, level);
    EXPECT_EQ(context.line_profile_bytes, profile_bytes);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Table, DataKeysMalformed,
    ::testing::Values(
        MalformedCase{"LineProfilePieceWithoutData", kCpMemoryWrite, {0x30, 0x84, 0, 0}},
        MalformedCase{"LineProfilePieceShorterThanItsHeader", kCpMemoryWrite, {0x30, 0x84, 0}},
        MalformedCase{"LineProfilePiecePastTheEnd", kCpMemoryWrite, {0x4C, 0x8B, 0, 0, 1, 2}},
        MalformedCase{
            "LineProfilePieceRunningPastTheEnd", kCpMemoryWrite, {0x4B, 0x8B, 0, 0, 1, 2, 3}},
        MalformedCase{"MemoryWriteShorterThanItsHeader", kCpMemoryWrite, {0x87, 0x16, 0}},
        MalformedCase{"MemoryWriteOfTheKeyOnly", kCpMemoryWrite, {0x87}},
        MalformedCase{"ParameterWriteWithoutItsKey", kCpParamWrite, {0xE2}},
        MalformedCase{"MemoryReadWithoutItsKey", kCpMemoryRead, {0x87}},
        MalformedCase{"ParameterReadWithoutAnything", kCpParamRead, {}},
        MalformedCase{"ReadOfAKeyLargerThanAnAnswer", kCpMemoryRead, {0x30, 0x84}},
        MalformedCase{"DaaSettingWithoutItsByte", kCpMemoryWrite, {0x2F, 0x18, 0, 0}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DataKeys, AWriteCarriesOnlyItsOwnBytes) {
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    // A 16-byte key written with 12, then with 6 bytes: the rest keeps its
    // bytes and nothing of the earlier, longer packet leaks into the key.
    const std::vector<std::uint8_t> first(12, 0xEE);
    const std::vector<std::uint8_t> second(6, 0x11);
    ASSERT_TRUE(testing::WriteMemory(controller, 0x8100, first));
    ASSERT_TRUE(testing::WriteMemory(controller, 0x8100, second));
    std::vector<std::uint8_t> expected(16, 0);
    std::fill_n(expected.begin(), 12, 0xEE);
    std::fill_n(expected.begin(), 6, 0x11);
    EXPECT_EQ(testing::ReadMemory(controller, 0x8100), expected);
    // A 2-byte key written with 12 bytes takes 2; the field after it stays.
    harness.Context().level_flag = 0x5A5A;
    ASSERT_TRUE(testing::WriteMemory(controller, 0x1687, first));
    EXPECT_EQ(harness.Context().transmit_level, static_cast<std::int16_t>(0xEEEE));
    EXPECT_EQ(harness.Context().level_flag, 0x5A5A);
  });
}

TEST(DataKeys, APieceAt0x8434WithTenBytesStoresSixBytesAtByte8OfTheLineProfile) {
  PumpHarness harness;
  harness.Run([&] {
    const std::vector<std::uint8_t> data = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(testing::WriteMemory(harness.Controller(), 0x8434, data));
    const DataKey* profile = FindMemKey(harness.Host(), 0x8430);
    ASSERT_NE(profile, nullptr);
    ASSERT_EQ(profile->size, 3640u);
    EXPECT_EQ(std::vector<std::uint8_t>(profile->buffer + 6, profile->buffer + 16),
              (std::vector<std::uint8_t>{0, 0, 1, 2, 3, 4, 5, 6, 0, 0}));
    EXPECT_EQ(harness.Context().line_profile_bytes, 6u);
    // The last word of the profile is the last place a piece may go.
    ASSERT_TRUE(
        testing::WriteMemory(harness.Controller(), 0x8B4B, std::vector<std::uint8_t>{7, 8}));
    EXPECT_EQ(profile->buffer[3638], 7);
    EXPECT_EQ(profile->buffer[3639], 8);
    EXPECT_EQ(harness.Context().line_profile_bytes, 8u);
  });
}

// ---- Codec registers -------------------------------------------------------------------

// The front end's controller kind, as the context's AfeInfo copy sees it
// after the reset refreshed it.
void UseControllerKind(PumpHarness& harness, ULONG kind) {
  harness.Afe().SetControllerKind(kind);
  harness.Controller().Post(0x60, {0});
  ASSERT_EQ(harness.Context().afe_info.ControllerKind, kind);
}

TEST(DataKeys, TheCodecRecordKeysAnswerOnlyOnKind4) {
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    for (int reg = 1; reg <= 18; ++reg)
      harness.Afe().Register(reg) = static_cast<UCHAR>(0x10 + reg);
    UseControllerKind(harness, 4);
    // Word i = low register | high register << 8, registers (1,2), (5,6), (7,8) ... (17,18).
    EXPECT_EQ(testing::ReadMemory(controller, kCodecRecordKey),
              (std::vector<std::uint8_t>{0x11, 0x12, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C,
                                         0x1D, 0x1E, 0x1F, 0x20, 0x21, 0x22}));
    ASSERT_TRUE(testing::WriteMemory(controller, kCodecRecordTailKey,
                                     std::vector<std::uint8_t>{0xAB, 0xCD}));
    EXPECT_EQ(testing::ReadMemory(controller, kCodecRecordTailKey),
              (std::vector<std::uint8_t>{0xAB, 0xCD}));

    UseControllerKind(harness, 6);
    EXPECT_EQ(testing::ReadMemory(controller, kCodecRecordKey), std::vector<std::uint8_t>(16, 0));
    EXPECT_EQ(testing::ReadMemory(controller, kCodecRecordTailKey),
              std::vector<std::uint8_t>(2, 0));
  });
}

struct RegisterChange {
  int reg;
  UCHAR before;
  UCHAR after;
};

struct DaaCase {
  const char* name;
  ULONG kind;
  std::uint32_t key;
  std::vector<std::uint8_t> data;
  std::vector<RegisterChange> registers;
};

void PrintTo(const DaaCase& c, std::ostream* out) { *out << c.name; }

class DaaProgramming : public ::testing::TestWithParam<DaaCase> {};

TEST_P(DaaProgramming, WritesTheCodecRegistersOfTheKind) {
  const DaaCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    UseControllerKind(harness, c.kind);
    for (const RegisterChange& r : c.registers) harness.Afe().Register(r.reg) = r.before;
    harness.Afe().ClearLog();
    EXPECT_TRUE(testing::WriteMemory(harness.Controller(), c.key, c.data));
    for (const RegisterChange& r : c.registers) {
      EXPECT_EQ(harness.Afe().Register(r.reg), r.after) << "register 0x" << std::hex << r.reg;
    }
    const auto codes = testing::RequestCodes(harness.Afe().Log());
    EXPECT_EQ(codes.back(), afe::kAfeGetInfo) << "the record copy is refreshed";
  });
}

INSTANTIATE_TEST_SUITE_P(
    Table, DaaProgramming,
    ::testing::Values(
        // Kind 4: register byte 5 := byte 4.
        DaaCase{
            "Kind4WritesTheNamedRegister", 4, kDaaSettingAKey, {0x5A, 0x30}, {{0x30, 0x00, 0x5A}}},
        DaaCase{"Kind4SettingB", 4, kDaaSettingBKey, {0x81, 0x31}, {{0x31, 0xFF, 0x81}}},
        // Kind 6: 0x40 keeps bits 4 and 7; 0x4A keeps bits 0, 2, 3 and gets 0x30/0x70/0x80/0x82.
        DaaCase{
            "Kind6RingCode0", 6, kDaaSettingAKey, {0x00}, {{0x40, 0xFF, 0x90}, {0x4A, 0xFF, 0x3D}}},
        DaaCase{
            "Kind6RingCode1", 6, kDaaSettingAKey, {0x04}, {{0x40, 0x00, 0x04}, {0x4A, 0x00, 0x70}}},
        DaaCase{
            "Kind6RingCode2", 6, kDaaSettingAKey, {0x08}, {{0x40, 0x90, 0x98}, {0x4A, 0x0D, 0x8D}}},
        DaaCase{"Kind6RingCode3", 6, kDaaSettingAKey, {0x0C}, {{0x4A, 0xF2, 0x82}}},
        DaaCase{"Kind6SettingBDoesNothing",
                6,
                kDaaSettingBKey,
                {0xFF},
                {{0x40, 0x12, 0x12}, {0x4A, 0x34, 0x34}}},
        // Other kinds: A keeps bits 1 and 6, takes bits 0 and 5, and bits 1-3 and 6 one up.
        DaaCase{"Kind9SettingA", 9, kDaaSettingAKey, {0xFF}, {{0x0D, 0x00, 0xBD}}},
        DaaCase{"Kind9SettingAKeeps", 9, kDaaSettingAKey, {0x00}, {{0x0D, 0xFF, 0x42}}},
        DaaCase{"Kind9SettingB", 9, kDaaSettingBKey, {0xFF}, {{0x0F, 0x00, 0x18}}},
        DaaCase{"Kind5SettingA", 5, kDaaSettingAKey, {0x21}, {{0x5C, 0x00, 0x21}}},
        DaaCase{"Kind5SettingB", 5, kDaaSettingBKey, {0x10}, {{0x62, 0xFF, 0xF7}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DataKeys, Kind4StoresTheSettingItProgrammed) {
  PumpHarness harness;
  harness.Run([&] {
    UseControllerKind(harness, 4);
    const std::vector<std::uint8_t> setting = {0x5A, 0x30, 1, 2, 3, 4};
    ASSERT_TRUE(testing::WriteMemory(harness.Controller(), kDaaSettingAKey, setting));
    EXPECT_EQ(testing::ReadMemory(harness.Controller(), kDaaSettingAKey), setting);
  });
}

// ---- Register windows ------------------------------------------------------------------

TEST(DataKeys, WindowsAnswerTheListedRegistersAndZerosForEmptyEntries) {
  PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    for (int reg = 0; reg <= 100; ++reg)
      harness.Afe().Register(reg) = static_cast<UCHAR>(reg ^ 0x5A);
    // What request 17 answers for a register, asked of the front end itself.
    const auto register_bytes = [&](ULONG reg) {
      ULONG request[2] = {reg, 0};
      testing::CallAfeRequest(harness.Afe().Interface(), afe::kAfeRegisterRead, request,
                              sizeof request);
      std::vector<std::uint8_t> bytes(4);
      std::memcpy(bytes.data(), &request[1], 4);
      return bytes;
    };
    const afe::AfeInfo& info = harness.Context().afe_info;
    struct Window {
      std::uint32_t key;
      const ULONG* list;
      std::size_t first;
    };
    const Window windows[] = {{0x1900, info.FirstTable, 0},  {0x1908, info.FirstTable, 4},
                              {0x1920, info.FirstTable, 16}, {0x1980, info.SecondTable, 0},
                              {0x1988, info.SecondTable, 4}, {0x19F8, info.SecondTable, 60}};
    for (const Window& w : windows) {
      SCOPED_TRACE(::testing::Message() << "key 0x" << std::hex << w.key);
      std::vector<std::uint8_t> expected;
      for (std::size_t i = 0; i < 4; ++i) {
        const ULONG reg = w.list[w.first + i];
        const auto bytes = reg != 0 ? register_bytes(reg) : std::vector<std::uint8_t>(4, 0);
        expected.insert(expected.end(), bytes.begin(), bytes.end());
      }
      EXPECT_EQ(testing::ReadParam(controller, w.key), expected);
    }
    // The front end lists no register from entry 16 of its first list on.
    EXPECT_EQ(testing::ReadParam(controller, 0x1920), std::vector<std::uint8_t>(16, 0));
    EXPECT_NE(testing::ReadParam(controller, 0x1908), std::vector<std::uint8_t>(16, 0));
  });
}

}  // namespace
}  // namespace pump
