// The V.8 messages of the test-side controller against V.8's own numbers:
// the preamble and sync sequences, the category tags and extension octets,
// CJ; read back from octets and from line bits, and random input that never
// reads as a message.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "pump/tests/support/v8_messages.h"

namespace pump::testing::v8msg {
namespace {

using Octets = std::vector<std::uint8_t>;

Menu Offering(std::uint32_t modulations, std::optional<std::uint8_t> protocols = std::nullopt,
              std::optional<std::uint8_t> pstn_access = std::nullopt,
              std::optional<std::uint8_t> pcm = std::nullopt) {
  Menu menu;
  menu.modulations = modulations;
  menu.protocols = protocols;
  menu.pstn_access = pstn_access;
  menu.pcm = pcm;
  return menu;
}

// The first 20 line bits as a number, the oldest bit in bit 0.
std::uint32_t First20(const std::vector<std::uint8_t>& bits) {
  std::uint32_t v = 0;
  for (int i = 0; i < 20; ++i) v |= static_cast<std::uint32_t>(bits.at(static_cast<std::size_t>(i))) << i;
  return v;
}

struct SyncCase {
  const char* name;
  Octets queued;
  std::uint32_t first20;  // ten ones, then the ten sync bits
};

// V.8: CM and JM start with ten ones and 0000001111, CI with ten ones and
// 0000000001 (each sync is a start bit, an octet and a stop bit).
const SyncCase kSyncs[] = {
    {"CmJm", EncodeCmJm(Offering(kModV21)), 0xF03FF},
    {"Ci", EncodeCi(kCallFunctionData), 0x803FF},
};

TEST(V8Messages, PreambleAndSyncBitsAreV8s) {
  for (const SyncCase& c : kSyncs) {
    EXPECT_EQ(First20(LineBits(c.queued)), c.first20) << c.name;
  }
  // CJ: three zero octets, each a start bit, eight zeros and a stop bit.
  std::vector<std::uint8_t> cj_bits;
  for (int i = 0; i < 3; ++i) {
    cj_bits.insert(cj_bits.end(), 9, 0);
    cj_bits.push_back(1);
  }
  EXPECT_EQ(LineBits(EncodeCj()), cj_bits);
}

struct OctetCase {
  const char* name;
  Menu menu;
  Octets octets;  // after the preamble octet
};

// Tags (low five bits, first bit sent first): call function 10000 (0x01),
// modulation modes 10100 (0x05), PCM availability 11100 (0x07), protocols
// 01010 (0x0A), access 10110 (0x0D); extension octets 010 in bits 3-5; the
// V-series data call function 0xC1.
const OctetCase kOctets[] = {
    {"V21Only", Offering(kModV21), {0xE0, 0xC1, 0x05, 0x10, 0x90}},
    {"V34V32V22", Offering(kModV34 | kModV32 | kModV22), {0xE0, 0xC1, 0x45, 0x13, 0x10}},
    {"EveryModemWithPcmAndLapm",
     Offering(kModPcm | kModV34 | kModV32 | kModV22 | kModV21 | kModV23, 0x2A, 0x0D, 0x27),
     {0xE0, 0xC1, 0x65, 0x13, 0x94, 0x2A, 0x0D, 0x27}},
    {"HalfDuplexFaxModems", Offering(kModV34Hdx | kModV17 | kModV29),
     {0xE0, 0xC1, 0x85, 0x94, 0x10}},
};

TEST(V8Messages, MenusEncodeToV8sOctetsAndReadBack) {
  for (const OctetCase& c : kOctets) {
    Octets expected = {kPreambleOctet};
    expected.insert(expected.end(), c.octets.begin(), c.octets.end());
    EXPECT_EQ(EncodeCmJm(c.menu), expected) << c.name;
    // Read from the octets an asynchronous receiver delivers (the preamble
    // gives none): a message counts once the next sync ends it.
    Octets heard = c.octets;
    heard.insert(heard.end(), c.octets.begin(), c.octets.end());
    const auto messages = ReadMessages(heard);
    ASSERT_EQ(messages.size(), 1u) << c.name;
    EXPECT_EQ(messages[0].menu, c.menu) << c.name;
    // And from the line bits.
    const auto from_bits = ReadBits(LineBits(EncodeCmJm(c.menu)));
    ASSERT_EQ(from_bits.size(), 1u) << c.name;
    EXPECT_EQ(from_bits[0], (Message{Kind::kCmJm, c.menu})) << c.name;
  }
  const auto ci = ReadBits(LineBits(EncodeCi(kCallFunctionData)));
  ASSERT_EQ(ci.size(), 1u);
  EXPECT_EQ(ci[0].kind, Kind::kCi);
}

struct BrokenCase {
  const char* name;
  Octets octets;
};

// Octet streams that hold no whole message.
const BrokenCase kBroken[] = {
    {"NoCallFunctionFirst", {0xE0, 0x05, 0x10, 0x90, 0xE0}},
    {"TruncatedBeforeTheNextSync", {0xE0, 0xC1, 0x05}},
    {"ForeignOctet", {0xE0, 0xC1, 0x05, 0x10, 0x90, 0x00, 0x00, 0xE0}},
    {"SyncOnly", {0xE0, 0xE0, 0xE0}},
    {"Empty", {}},
};

TEST(V8Messages, BrokenStreamsReadAsNothing) {
  for (const BrokenCase& c : kBroken) {
    EXPECT_TRUE(ReadMessages(c.octets).empty()) << c.name;
  }
}

TEST(V8Messages, RandomBitsAndOctetsNeverReadAsAMessage) {
  for (std::uint32_t seed = 1; seed <= 20; ++seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> bits(20000);
    Octets octets(2000);
    for (auto& b : bits) b = static_cast<std::uint8_t>(random() & 1);
    for (auto& o : octets) o = static_cast<std::uint8_t>(random());
    EXPECT_TRUE(ReadBits(bits).empty()) << "seed " << seed;
    EXPECT_TRUE(ReadMessages(octets).empty()) << "seed " << seed;
  }
}

struct CommonCase {
  const char* name;
  std::uint32_t ours;
  std::uint32_t theirs;
  std::optional<int> mode;
};

const CommonCase kCommon[] = {
    {"PcmFirst", kModPcm | kModV34 | kModV21, kModPcm | kModV34, 23},
    {"V34", kModPcm | kModV34 | kModV32, kModV34 | kModV32, 17},
    {"V32bis", kModV34 | kModV32 | kModV21, kModV32 | kModV21, 16},
    {"V22bis", kModV22 | kModV21, kModV22, 7},
    {"V23", kModV23 | kModV21, kModV23, 4},
    {"V21", kModV21, kModV21 | kModV34, 2},
    {"Nothing", kModV21, kModV34, std::nullopt},
};

TEST(V8Messages, CommonModeIsTheBestBothOffer) {
  for (const CommonCase& c : kCommon) EXPECT_EQ(CommonMode(c.ours, c.theirs), c.mode) << c.name;
}

}  // namespace
}  // namespace pump::testing::v8msg
