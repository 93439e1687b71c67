#include "platform/line/peer_end.h"

#include <algorithm>

namespace plat::line {

PeerEnd::PeerEnd(Line& line, Side side, ScriptedPeer& peer)
    : line_(line), side_(side), peer_(peer) {
  line_.Attach(side_, *this);
}

void PeerEnd::ProduceUntil(std::int64_t count) {
  while (peer_.generated() < count) {
    const std::int64_t end = std::min(count, peer_.generated() + kBlock);
    line_.DeliverUntil(side_, end);
    if (peer_.generated() >= end) continue;
    block_.resize(static_cast<std::size_t>(end - peer_.generated()));
    peer_.Generate(block_);
    line_.Send(side_, block_);
  }
}

}  // namespace plat::line
