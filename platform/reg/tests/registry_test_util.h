// Small helpers shared by the registry tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/reg/hivetext.h"

namespace plat::reg {

using Bytes = std::vector<UCHAR>;

// The driver's parameters key, as the seeds write it.
inline constexpr WCHAR kParameters[] =
    u"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\vxctl\\Parameters";

// Success of a load, or its error in the failure message.
inline ::testing::AssertionResult Loaded(const std::optional<LoadError>& error) {
  if (!error) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << error->Text();
}

// Little-endian u32 words.
inline Bytes U32(std::initializer_list<ULONG> words) {
  Bytes out;
  for (const ULONG w : words) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<UCHAR>(w >> (8 * i)));
  }
  return out;
}

// The UTF-16 bytes of text, without a terminator unless text holds one.
inline Bytes Utf16(std::u16string_view text) {
  Bytes out;
  for (const char16_t c : text) {
    out.push_back(static_cast<UCHAR>(c & 0xFF));
    out.push_back(static_cast<UCHAR>(c >> 8));
  }
  return out;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::filesystem::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary) << text;
}

}  // namespace plat::reg
