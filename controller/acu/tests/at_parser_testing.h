// Test support: a parser whose handlers record each call with the argument
// buffer as it was, and helpers to read the buffer's elements.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "controller/acu/at_parser.h"

namespace vxctl::testing {

struct RecordedCall {
  std::string name;
  AtArgumentBuffer argument;
};

struct RecordingParser : AtParser {
  std::vector<RecordedCall> calls;
  std::string line_storage;

  // Sets `text` as the line (the parser keeps pointing into our copy).
  void Line(const std::string& text) {
    line_storage = text;
    BeginLine(line_storage.data());
  }
  // Runs the line to its end; the results of each RunNext.
  std::vector<std::uint8_t> RunAll() {
    std::vector<std::uint8_t> results;
    for (std::uint8_t r = kAtRan; r == kAtRan && results.size() < 100;) {
      r = RunNext();
      results.push_back(r);
    }
    return results;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& call : calls) names.push_back(call.name);
    return names;
  }
};

// Handler template: records the call under `Name`.
template <const char* Name>
void Record(AtParser& parser, const std::uint8_t*) {
  auto& self = static_cast<RecordingParser&>(parser);
  self.calls.push_back({Name, self.Argument()});
}

// A handler that refuses its command.
inline void Refuse(AtParser& parser, const std::uint8_t*) { parser.error_flag = 1; }

// Element `index` of width T of the buffer.
template <class T>
T Element(const AtArgumentBuffer& buffer, std::size_t index) {
  T value;
  std::memcpy(&value, buffer.bytes.data() + index * sizeof(T), sizeof(T));
  return value;
}

// The elements of width T up to and including the first zero.
template <class T>
std::vector<std::uint32_t> ElementsToZero(const AtArgumentBuffer& buffer) {
  std::vector<std::uint32_t> out;
  for (std::size_t i = 0; i < AtArgumentBuffer::kBytes / sizeof(T); ++i) {
    out.push_back(Element<T>(buffer, i));
    if (out.back() == 0) break;
  }
  return out;
}

}  // namespace vxctl::testing
