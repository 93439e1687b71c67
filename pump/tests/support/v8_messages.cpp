#include "pump/tests/support/v8_messages.h"

namespace pump::testing::v8msg {
namespace {

struct BitPlace {
  Modulation modulation;
  int octet;
  std::uint8_t bit;
};

constexpr BitPlace kPlaces[] = {
    {kModPcm, 0, 0x20}, {kModV34, 0, 0x40},   {kModV34Hdx, 0, 0x80}, {kModV32, 1, 0x01},
    {kModV22, 1, 0x02}, {kModV17, 1, 0x04},   {kModV29, 1, 0x80},    {kModV23, 2, 0x04},
    {kModV21, 2, 0x80},
};

constexpr int kOctetBits = 10;  // start, eight bits, stop
constexpr int kPreambleOnes = 10;

void PutOctet(std::vector<std::uint8_t>& bits, std::uint8_t octet) {
  bits.push_back(0);
  for (int i = 0; i < 8; ++i) bits.push_back(static_cast<std::uint8_t>(octet >> i & 1));
  bits.push_back(1);
}

// The information octets of one message (after its sync) into a menu;
// none when they do not form one.
std::optional<Menu> ParseMenu(std::span<const std::uint8_t> info) {
  if (info.empty() || (info[0] & kTagMask) != kTagCallFunction) return std::nullopt;
  Menu menu;
  menu.call_function = info[0];
  for (std::size_t i = 1; i < info.size(); ++i) {
    const std::uint8_t octet = info[i];
    switch (octet & kTagMask) {
      case kTagModulation: {
        std::uint8_t octets[3] = {octet, 0, 0};
        for (int k = 1; k < 3 && i + 1 < info.size() && IsExtension(info[i + 1]); ++k) {
          octets[k] = info[++i];
        }
        for (const BitPlace& p : kPlaces) {
          if ((octets[p.octet] & p.bit) != 0) menu.modulations |= p.modulation;
        }
        break;
      }
      case kTagProtocols:
        menu.protocols = octet;
        break;
      case kTagPstnAccess:
        menu.pstn_access = octet;
        break;
      case kTagPcm:
        menu.pcm = octet;
        break;
      default:
        if (!IsExtension(octet)) return std::nullopt;  // an extension of another category
        break;
    }
  }
  return menu;
}

// The modulation octet and its extension octets for a set of modulations.
std::vector<std::uint8_t> ModulationOctets(std::uint32_t modulations) {
  std::uint8_t octets[3] = {kTagModulation, kExtensionBits, kExtensionBits};
  for (const BitPlace& p : kPlaces) {
    if ((modulations & p.modulation) != 0) octets[p.octet] |= p.bit;
  }
  return {octets[0], octets[1], octets[2]};
}

}  // namespace

std::vector<std::uint8_t> EncodeCmJm(const Menu& menu) {
  std::vector<std::uint8_t> out = {kPreambleOctet, kCmJmSync, menu.call_function};
  const std::vector<std::uint8_t> modulation = ModulationOctets(menu.modulations);
  out.insert(out.end(), modulation.begin(), modulation.end());
  for (const auto& octet : {menu.protocols, menu.pstn_access, menu.pcm}) {
    if (octet) out.push_back(*octet);
  }
  return out;
}

std::vector<std::uint8_t> EncodeCi(std::uint8_t call_function) {
  return {kPreambleOctet, kCiSync, call_function};
}

std::vector<std::uint8_t> EncodeCj() { return {0, 0, 0}; }

std::vector<std::uint8_t> LineBits(std::span<const std::uint8_t> queued) {
  std::vector<std::uint8_t> bits;
  for (std::size_t i = 0; i < queued.size(); ++i) {
    if (queued[i] == kPreambleOctet && i + 1 < queued.size() &&
        (queued[i + 1] == kCmJmSync || queued[i + 1] == kCiSync)) {
      bits.insert(bits.end(), kPreambleOnes, 1);
    } else {
      PutOctet(bits, queued[i]);
    }
  }
  return bits;
}

std::vector<Message> ReadMessages(std::span<const std::uint8_t> octets) {
  std::vector<Message> messages;
  std::optional<std::size_t> start;  // of the current message's information octets
  for (std::size_t i = 0; i <= octets.size(); ++i) {
    const bool sync = i < octets.size() && octets[i] == kCmJmSync;
    if (!sync) continue;
    if (start) {
      if (auto menu = ParseMenu(octets.subspan(*start, i - *start))) {
        messages.push_back({Kind::kCmJm, *menu});
      }
    }
    start = i + 1;
  }
  return messages;
}

std::vector<Message> ReadBits(std::span<const std::uint8_t> bits) {
  std::vector<Message> messages;
  std::size_t i = 0;
  int ones = 0;
  while (i < bits.size()) {
    if (bits[i] == 1) {
      ++ones;
      ++i;
      continue;
    }
    if (ones < kPreambleOnes) {
      ones = 0;
      ++i;
      continue;
    }
    ones = 0;
    // A start bit after the preamble: the sync octet and what follows.
    std::vector<std::uint8_t> octets;
    while (i + kOctetBits <= bits.size() && bits[i] == 0 && bits[i + 9] == 1) {
      std::uint8_t octet = 0;
      for (int b = 0; b < 8; ++b) octet |= static_cast<std::uint8_t>(bits[i + 1 + b] << b);
      octets.push_back(octet);
      i += kOctetBits;
      if (i < bits.size() && bits[i] == 1) break;  // the line idles: the message ended
    }
    if (octets.size() >= 2) {
      const std::span info = std::span(octets).subspan(1);
      if (auto menu = ParseMenu(info)) {
        if (octets[0] == kCmJmSync) messages.push_back({Kind::kCmJm, *menu});
        if (octets[0] == kCiSync && info.size() == 1) messages.push_back({Kind::kCi, *menu});
      }
    }
  }
  return messages;
}

bool HasCj(std::span<const std::uint8_t> octets) {
  int zeros = 0;
  for (const std::uint8_t octet : octets) {
    zeros = octet == 0 ? zeros + 1 : 0;
    if (zeros == 3) return true;
  }
  return false;
}

std::optional<int> CommonMode(std::uint32_t ours, std::uint32_t theirs) {
  const std::uint32_t both = ours & theirs;
  struct Choice {
    std::uint32_t modulation;
    int mode;
  };
  constexpr Choice kOrder[] = {{kModPcm, 23}, {kModV34, 17}, {kModV32, 16},
                               {kModV22, 7},  {kModV23, 4},  {kModV21, 2}};
  for (const Choice& c : kOrder) {
    if ((both & c.modulation) != 0) return c.mode;
  }
  return std::nullopt;
}

}  // namespace pump::testing::v8msg
