// Line bit streams for the framer's tests, one bit per element, oldest
// first, built and read by reference codecs written from ISO/IEC 13239
// (flags, zero insertion after five ones, the FCS by polynomial division
// bit by bit) and from the 8-N-1 character format. They share nothing
// with the framer's code.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <ostream>
#include <vector>

namespace pump::framer_testing {

using Bits = std::vector<std::uint8_t>;
using Bytes = std::vector<std::uint8_t>;

inline Bits Repeat(std::uint8_t bit, std::size_t n) { return Bits(n, bit); }
inline Bits Ones(std::size_t n) { return Repeat(1, n); }
inline Bits Zeros(std::size_t n) { return Repeat(0, n); }

inline Bits Cat(std::initializer_list<Bits> parts) {
  Bits all;
  for (const Bits& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// The low n bits of a value, least significant first.
inline Bits LsbFirst(std::uint32_t value, int n) {
  Bits bits;
  for (int i = 0; i < n; ++i) bits.push_back(static_cast<std::uint8_t>((value >> i) & 1));
  return bits;
}

// ---- 8-N-1 characters --------------------------------------------------------

inline Bits Character(std::uint8_t byte) { return Cat({Zeros(1), LsbFirst(byte, 8), Ones(1)}); }

inline Bits Characters(const Bytes& bytes) {
  Bits bits;
  for (std::uint8_t b : bytes) {
    const Bits c = Character(b);
    bits.insert(bits.end(), c.begin(), c.end());
  }
  return bits;
}

// A character found on the line: its data and the position of its start bit.
struct FoundCharacter {
  std::uint8_t byte;
  std::size_t start;
  bool operator==(const FoundCharacter&) const = default;
};

// Start bit, eight data bits, a stop bit that must be 1; after a bad stop
// bit the search restarts at the next bit.
inline std::vector<FoundCharacter> ReadCharacters(const Bits& bits) {
  std::vector<FoundCharacter> found;
  std::size_t i = 0;
  while (i + 10 <= bits.size()) {
    if (bits[i] != 0) {
      ++i;
      continue;
    }
    std::uint32_t byte = 0;
    for (int b = 0; b < 8; ++b) byte |= std::uint32_t{bits[i + 1 + b]} << b;
    if (bits[i + 9] != 1) {
      ++i;
      continue;
    }
    found.push_back({static_cast<std::uint8_t>(byte), i});
    i += 10;
  }
  return found;
}

// ---- HDLC --------------------------------------------------------------------

inline Bits Flag() { return LsbFirst(0x7E, 8); }
inline Bits Flags(int n) {
  Bits bits;
  for (int i = 0; i < n; ++i) {
    const Bits f = Flag();
    bits.insert(bits.end(), f.begin(), f.end());
  }
  return bits;
}

// The register of the frame check after `bytes`, from the preset 0xFFFF:
// the polynomial x^16 + x^12 + x^5 + 1 divided in bit by bit, least
// significant bit of each byte first.
inline std::uint16_t FcsRegister(const Bytes& bytes, std::uint16_t reg = 0xFFFF) {
  for (std::uint8_t byte : bytes) {
    for (int i = 0; i < 8; ++i) {
      const bool feedback = ((reg ^ (byte >> i)) & 1) != 0;
      reg = static_cast<std::uint16_t>(reg >> 1);
      if (feedback) reg ^= 0x8408;
    }
  }
  return reg;
}

// The frame's bytes with their frame check: the complement of the register,
// low byte first. `good` false gives a check that is off in one bit.
inline Bytes WithFcs(const Bytes& bytes, bool good = true) {
  Bytes framed = bytes;
  std::uint16_t fcs = static_cast<std::uint16_t>(~FcsRegister(bytes));
  if (!good) fcs ^= 0x0100;
  framed.push_back(static_cast<std::uint8_t>(fcs));
  framed.push_back(static_cast<std::uint8_t>(fcs >> 8));
  return framed;
}

// Bits with a zero inserted after every five consecutive ones.
inline Bits Stuffed(const Bytes& bytes) {
  Bits bits;
  int ones = 0;
  for (std::uint8_t byte : bytes) {
    for (int i = 0; i < 8; ++i) {
      const std::uint8_t bit = (byte >> i) & 1;
      bits.push_back(bit);
      ones = bit != 0 ? ones + 1 : 0;
      if (ones == 5) {
        bits.push_back(0);
        ones = 0;
      }
    }
  }
  return bits;
}

// The frame between flags: the stuffed bytes and their frame check.
inline Bits FrameBody(const Bytes& bytes, bool good = true) {
  return Stuffed(WithFcs(bytes, good));
}

// What a receiver of ISO/IEC 13239 makes of a bit stream: the frames between
// flags with their FCS verdict, and the aborts (seven ones inside a frame).
struct FoundFrame {
  Bytes bytes;  // without the frame check
  bool good;
  bool operator==(const FoundFrame&) const = default;
};

inline void PrintTo(const FoundFrame& frame, std::ostream* out) {
  *out << (frame.good ? "{good" : "{bad") << " frame of " << frame.bytes.size() << " bytes}";
}

struct HdlcReading {
  std::vector<FoundFrame> frames;
  int aborts = 0;
  int flags = 0;
};

inline HdlcReading ReadHdlc(const Bits& bits) {
  HdlcReading reading;
  bool synced = false;
  Bits data;  // destuffed bits since the last flag
  int ones = 0;
  for (std::uint8_t bit : bits) {
    if (bit != 0) {
      ++ones;
      if (ones == 7 && synced) {
        if (!data.empty()) ++reading.aborts;
        synced = false;
        data.clear();
      }
      if (ones <= 5 && synced) data.push_back(1);
      continue;
    }
    if (ones == 6) {  // a flag; the five ones and the zero before it were not data
      ++reading.flags;
      if (synced && data.size() >= 6) {
        data.resize(data.size() - 6);
        if (data.size() >= 32 && data.size() % 8 == 0) {
          Bytes bytes(data.size() / 8, 0);
          for (std::size_t i = 0; i < data.size(); ++i) bytes[i / 8] |= data[i] << (i % 8);
          const bool good = FcsRegister(bytes) == 0xF0B8;
          bytes.resize(bytes.size() - 2);
          reading.frames.push_back({bytes, good});
        }
      }
      synced = true;
      data.clear();
    } else if (ones != 5 && synced) {
      data.push_back(0);
    }
    ones = 0;
  }
  return reading;
}

}  // namespace pump::framer_testing
