// Where the data pump's debug lines go. An object that prints debug lines
// holds a pointer to a sink; with none, the lines are dropped, as a kernel
// debug print is when no debugger listens.
#pragma once

#include <string_view>

namespace pump {

class DebugSink {
 public:
  virtual void Line(std::string_view text) = 0;

 protected:
  ~DebugSink() = default;
};

inline void PrintDebugLine(DebugSink* sink, std::string_view text) {
  if (sink != nullptr) sink->Line(text);
}

}  // namespace pump
