// The framer against spandsp at bit level, without a modem: spandsp's HDLC
// and asynchronous transmitters into our receive types, our transmit modes
// into spandsp's receivers. Frames and characters come from seeded
// generators; the payloads must arrive equal both ways.
#include <gtest/gtest.h>

#include <string>

#include "pump/framer/framer.h"
#include "pump/framer/tests/framer_rig.h"
#include "pump/tests/support/spandsp_headers.h"
#include "siglib/tests/support/random.h"

namespace pump {
namespace {

using namespace framer_testing;

enum class Fate { kGood, kBad, kAborted };

struct PlannedFrame {
  Bytes bytes;
  Fate fate;
};

// Seeded frames of 1 to 260 bytes; the first is good, so that a receiver
// that waits for two flags starts on it.
std::vector<PlannedFrame> PlanFrames(qvls_test::Rng& rng, int count, bool with_bad) {
  std::vector<PlannedFrame> frames;
  for (int i = 0; i < count; ++i) {
    const auto length = static_cast<std::size_t>(i < 3 ? i + 1 : rng.Range(1, 260));
    Bytes bytes(length);
    for (std::uint8_t& b : bytes) b = rng.Chance(1, 4) ? 0xFF : rng.Any<std::uint8_t>();
    Fate fate = Fate::kGood;
    const std::int64_t draw = rng.Range(0, 9);
    if (i > 0 && with_bad && draw < 2) fate = Fate::kBad;
    if (i > 0 && length >= 8 && draw >= 8) fate = Fate::kAborted;
    frames.push_back({bytes, fate});
  }
  return frames;
}

// What a receiver reported, frame by frame.
struct Received {
  std::vector<FoundFrame> frames;  // good and bad, without the frame check
  int aborts = 0;
};

// Our receive blocks as frames: the bytes up to an event of kind 1
// (good) or 2 (bad), whose last two bytes are the frame check; kind 3 is
// an abort.
Received FramesOf(const std::vector<Block>& blocks) {
  Received received;
  Bytes bytes;
  for (const Block& block : blocks) {
    bytes.insert(bytes.end(), block.data.begin(), block.data.end());
    if (block.kind == 0) continue;
    if (block.kind == 3) {
      ++received.aborts;
    } else if ((block.kind == 1 || block.kind == 2) && bytes.size() >= 2) {
      received.frames.push_back({Bytes(bytes.begin(), bytes.end() - 2), block.kind == 1});
    }
    bytes.clear();
  }
  return received;
}

// ---- spandsp's receivers ----------------------------------------------------

struct HdlcRxPeer {
  HdlcRxPeer() : state(hdlc_rx_init(nullptr, 0, 1, 1, &HdlcRxPeer::OnFrame, this)) {}
  ~HdlcRxPeer() { hdlc_rx_free(state); }
  static void OnFrame(void* user, const std::uint8_t* data, int len, int ok) {
    auto* peer = static_cast<HdlcRxPeer*>(user);
    if (len == SIG_STATUS_ABORT) ++peer->received.aborts;
    if (len >= 0) peer->received.frames.push_back({Bytes(data, data + len), ok != 0});
  }
  void Put(const Bits& bits) {
    for (std::uint8_t bit : bits) hdlc_rx_put_bit(state, bit);
  }
  hdlc_rx_state_t* state;
  Received received;
};

struct AsyncRxPeer {
  AsyncRxPeer()
      : state(async_rx_init(nullptr, 8, ASYNC_PARITY_NONE, 1, 0, &AsyncRxPeer::OnByte, this)) {}
  ~AsyncRxPeer() { async_rx_free(state); }
  static void OnByte(void* user, int byte) {
    if (byte >= 0)
      static_cast<AsyncRxPeer*>(user)->bytes.push_back(static_cast<std::uint8_t>(byte));
  }
  async_rx_state_t* state;
  Bytes bytes;
};

// Feeds bits to our receiver in seeded calls of 1 to 32 bits.
void FeedInRandomCalls(FramerRig& rig, const Bits& bits, qvls_test::Rng& rng) {
  for (std::size_t i = 0; i < bits.size();) {
    const auto n =
        std::min<std::size_t>(static_cast<std::size_t>(rng.Range(1, 32)), bits.size() - i);
    rig.Feed(Bits(bits.begin() + static_cast<std::ptrdiff_t>(i),
                  bits.begin() + static_cast<std::ptrdiff_t>(i + n)),
             32);
    i += n;
  }
}

// ---- spandsp hdlc_tx into our HDLC types --------------------------------------

// spandsp sends a preamble of flags, the frames (a bad one with its check
// corrupted by spandsp, an aborted one cut by eight ones inside a byte),
// and idle flags.
Bits SpandspHdlcStream(const std::vector<PlannedFrame>& frames, qvls_test::Rng& rng) {
  hdlc_tx_state_t* tx = hdlc_tx_init(nullptr, 0, 1, 0, nullptr, nullptr);
  Bits bits;
  auto pull = [&](std::int64_t n) {
    for (std::int64_t i = 0; i < n; ++i)
      bits.push_back(static_cast<std::uint8_t>(hdlc_tx_get_bit(tx)));
  };
  hdlc_tx_flags(tx, 10);
  for (const PlannedFrame& frame : frames) {
    while (hdlc_tx_frame(tx, frame.bytes.data(), frame.bytes.size()) != 0) pull(1);
    if (frame.fate == Fate::kBad) hdlc_tx_corrupt_frame(tx);
    if (frame.fate == Fate::kAborted) {
      // Well inside the frame: its first bits follow at most the 32 still
      // in the transmitter.
      pull(rng.Range(48, static_cast<std::int64_t>(frame.bytes.size()) * 8));
      bits.insert(bits.end(), 8, 1);
    }
  }
  // The last frame, stuffed, and idle flags.
  pull(static_cast<std::int64_t>(frames.back().bytes.size()) * 10 + 400);
  hdlc_tx_free(tx);
  return bits;
}

class FramerInteropHdlc : public ::testing::TestWithParam<int> {};

TEST_P(FramerInteropHdlc, SpandspFramesIntoOurReceiver) {
  const int type = GetParam();
  qvls_test::Rng rng("FramerInterop.SpandspHdlcTx." + std::to_string(type));
  const std::vector<PlannedFrame> frames = PlanFrames(rng, 40, true);
  const Bits stream = SpandspHdlcStream(frames, rng);

  FramerRig rig;
  InitFramerRx(rig.Context(), type);
  FeedInRandomCalls(rig, stream, rng);
  const Received ours = FramesOf(rig.Blocks());

  HdlcRxPeer peer;
  peer.Put(stream);
  EXPECT_EQ(ours.frames, peer.received.frames)
      << "the same verdicts and bytes as spandsp's receiver";
  EXPECT_EQ(ours.aborts, peer.received.aborts);

  std::vector<FoundFrame> planned;
  int aborted = 0;
  for (const PlannedFrame& frame : frames) {
    if (frame.fate == Fate::kAborted) {
      ++aborted;
    } else {
      planned.push_back({frame.bytes, frame.fate == Fate::kGood});
    }
  }
  EXPECT_EQ(ours.frames, planned);
  EXPECT_EQ(ours.aborts, aborted);
  EXPECT_EQ(rig.Framer().delivered_bytes, rig.DeliveredBytes().size());
}

INSTANTIATE_TEST_SUITE_P(Types, FramerInteropHdlc,
                         ::testing::Values(int{kFramerHdlc}, int{kFramerHdlcTwoFlags}));

// ---- our HDLC modes into spandsp hdlc_rx --------------------------------------

class FramerInteropHdlcTx : public ::testing::TestWithParam<int> {};

TEST_P(FramerInteropHdlcTx, OurFramesIntoSpandspsReceiver) {
  const int mode = GetParam();
  qvls_test::Rng rng("FramerInterop.OurHdlcTx." + std::to_string(mode));
  const std::vector<PlannedFrame> frames = PlanFrames(rng, 40, false);

  FramerRig rig;
  InitFramerTx(rig.Context(), mode);
  Received planned;
  for (const PlannedFrame& frame : frames) {
    // The controller's blocks: 32 bytes at most, the last one of kind 1;
    // an aborted frame ends with an event of kind 3 after some bytes.
    const std::size_t length =
        frame.fate == Fate::kAborted ? frame.bytes.size() / 2 : frame.bytes.size();
    for (std::size_t at = 0; at < length; at += kMailboxData) {
      const std::size_t n = std::min(kMailboxData, length - at);
      const bool last = at + n == length;
      const std::uint8_t kind = !last ? 0 : frame.fate == Fate::kAborted ? 3 : kKindEndOfFrame;
      rig.Send(kind, Bytes(frame.bytes.begin() + static_cast<std::ptrdiff_t>(at),
                           frame.bytes.begin() + static_cast<std::ptrdiff_t>(at + n)));
    }
    if (frame.fate == Fate::kAborted) {
      ++planned.aborts;
    } else {
      planned.frames.push_back({frame.bytes, true});
    }
  }

  HdlcRxPeer peer;
  bool stopped = false;
  while (!stopped) {
    const int n = static_cast<int>(rng.Range(1, kFramerMaxTxBits));
    const std::int32_t bits = FramerGetTxBits(rig.Context(), n);
    if (bits < 0) {
      stopped = true;
    } else {
      peer.Put(LsbFirst(static_cast<std::uint32_t>(bits), n));
    }
    if (mode == kFramerHdlc && rig.SendQueueEmpty() && rig.Host().comram.reg[kRegTxCount] == 0 &&
        rig.Framer().tx_queue.count == 0) {
      peer.Put(LsbFirst(static_cast<std::uint32_t>(FramerGetTxBits(rig.Context(), 31)), 31));
      peer.Put(LsbFirst(static_cast<std::uint32_t>(FramerGetTxBits(rig.Context(), 31)), 31));
      stopped = true;  // mode 2 idles with flags for ever
    }
  }
  EXPECT_EQ(peer.received.frames, planned.frames);
  EXPECT_EQ(peer.received.aborts, planned.aborts);
}

INSTANTIATE_TEST_SUITE_P(Modes, FramerInteropHdlcTx,
                         ::testing::Values(int{kFramerHdlc}, int{kFramerHdlcReports}));

// ---- asynchronous characters both ways ----------------------------------------

Bytes SeededBytes(qvls_test::Rng& rng, std::size_t n) {
  Bytes bytes(n);
  for (std::uint8_t& b : bytes) b = rng.WithEdges<std::uint8_t>(4);
  return bytes;
}

TEST(FramerInteropAsync, SpandspCharactersIntoOurTypeZero) {
  qvls_test::Rng rng("FramerInterop.AsyncTx");
  const Bytes payload = SeededBytes(rng, 400);
  struct Source {
    const Bytes* bytes;
    std::size_t next = 0;
  } source{&payload};
  async_tx_state_t* tx = async_tx_init(
      nullptr, 8, ASYNC_PARITY_NONE, 1, 0,
      [](void* user) -> int {
        auto* s = static_cast<Source*>(user);
        if (s->next == s->bytes->size()) return SIG_STATUS_END_OF_DATA;
        return (*s->bytes)[s->next++];
      },
      &source);
  // spandsp's characters, and seeded idle time between some of them.
  Bits stream = Ones(20);
  for (std::size_t c = 0; c < payload.size(); ++c) {
    for (int i = 0; i < 10; ++i) stream.push_back(static_cast<std::uint8_t>(async_tx_get_bit(tx)));
    if (rng.Chance(1, 3))
      stream.insert(stream.end(), static_cast<std::size_t>(rng.Range(1, 15)), 1);
  }
  async_tx_free(tx);
  stream.insert(stream.end(), 20, 1);

  FramerRig rig;
  InitFramerRx(rig.Context(), kFramerAsync);
  FeedInRandomCalls(rig, stream, rng);
  FramerFlushRx(rig.Context());
  EXPECT_EQ(rig.DeliveredBytes(), payload);
  EXPECT_EQ(rig.Framer().delivered_bytes, payload.size());
}

TEST(FramerInteropAsync, OurModeZeroIntoSpandspsReceiver) {
  qvls_test::Rng rng("FramerInterop.AsyncRx");
  const Bytes payload = SeededBytes(rng, 400);
  FramerRig rig;
  InitFramerTx(rig.Context(), kFramerAsync);
  for (std::size_t at = 0; at < payload.size(); at += 23) {
    const std::size_t n = std::min<std::size_t>(23, payload.size() - at);
    rig.Send(0, Bytes(payload.begin() + static_cast<std::ptrdiff_t>(at),
                      payload.begin() + static_cast<std::ptrdiff_t>(at + n)));
  }
  AsyncRxPeer peer;
  for (int i = 0; i < 60; ++i) async_rx_put_bit(peer.state, 1);
  for (std::size_t sent = 0; sent < payload.size() * 10 + 200;) {
    const int n = static_cast<int>(rng.Range(1, kFramerMaxTxBits));
    const std::int32_t bits = FramerGetTxBits(rig.Context(), n);
    ASSERT_GE(bits, 0);
    for (int b = 0; b < n; ++b) async_rx_put_bit(peer.state, (bits >> b) & 1);
    sent += static_cast<std::size_t>(n);
  }
  EXPECT_EQ(peer.bytes, payload);
}

}  // namespace
}  // namespace pump
