// A scripted peer as an end of a line: it hears what the line delivers and
// speaks its script, each sample only once it has heard everything up to that
// instant, so a block callback can answer what it heard.
#pragma once

#include "platform/line/line.h"
#include "platform/line/scripted_peer.h"

namespace plat::line {

class PeerEnd final : public LineEnd {
 public:
  // Attaches `peer` to `line` at `side`; both must outlive the end.
  PeerEnd(Line& line, Side side, ScriptedPeer& peer);

  void ProduceUntil(std::int64_t count) override;
  void Hear(std::span<const std::int16_t> samples) override { peer_.Hear(samples); }

 private:
  static constexpr std::int64_t kBlock = 80;  // 10 ms
  Line& line_;
  Side side_;
  ScriptedPeer& peer_;
  std::vector<std::int16_t> block_;
};

}  // namespace plat::line
