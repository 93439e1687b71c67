// Caller-ID receive from spandsp's adsi_tx: the controller arms it with
// command 0x93 and the bytes of the message arrive in the receive mailbox.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <functional>
#include <cmath>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pump/core/comram.h"
#include "pump/fsk/caller_id.h"
#include "pump/tests/support/pump_harness.h"
#include "pump/tests/support/spandsp_codec_rate.h"
#include "pump/tests/support/spandsp_headers.h"
#include <spandsp/adsi.h>

namespace pump {
namespace {

struct AdsiFrame {
  std::vector<std::uint8_t> bytes;  // as adsi_tx frames them (checksum included)
  std::vector<std::int16_t> line;   // 9600 Hz
};

// A CLASS or CLIP multiple-data message with a date, a number and a name;
// `off_hook` sends it without the channel seizure.
AdsiFrame AdsiMessage(int standard, bool off_hook) {
  adsi_tx_state_t* tx = adsi_tx_init(nullptr, standard);
  if (off_hook) adsi_tx_set_preamble(tx, 0, 80, 5, 1);
  std::uint8_t msg[128];
  int len = adsi_add_field(tx, msg, -1, CLASS_MDMF_CALLERID, nullptr, 0);
  len = adsi_add_field(tx, msg, len, 0x01, reinterpret_cast<const std::uint8_t*>("10011750"), 8);
  len = adsi_add_field(tx, msg, len, 0x02, reinterpret_cast<const std::uint8_t*>("5551234"), 7);
  len = adsi_add_field(tx, msg, len, 0x07, reinterpret_cast<const std::uint8_t*>("A CALLER"), 8);
  AdsiFrame m;
  adsi_tx_put_message(tx, msg, len);
  // On the line: the length byte counts what follows it, and a checksum
  // makes the sum of every byte 0 modulo 256.
  m.bytes.assign(msg, msg + len);
  m.bytes[1] = static_cast<std::uint8_t>(len - 2);
  std::uint8_t sum = 0;
  for (const std::uint8_t b : m.bytes) sum = static_cast<std::uint8_t>(sum + b);
  m.bytes.push_back(static_cast<std::uint8_t>(-sum));
  testing::SpandspSource source([&](std::span<std::int16_t> out) {
    return adsi_tx(tx, out.data(), static_cast<int>(out.size()));
  });
  m.line = source.Take(9600 * 2);
  adsi_tx_free(tx);
  return m;
}

struct HeardMessage {
  std::vector<std::uint8_t> bytes;
  std::uint32_t armed;  // at the end
  ULONG hook;
};

// `each_block` sees the harness after every block.
HeardMessage HearAll(const std::vector<std::int16_t>& line, std::uint8_t mode, std::uint8_t type,
              std::uint8_t framer_type = 0, int extra_blocks = 50,
              std::uint8_t call_progress_mode = 0,
              const std::function<void(testing::PumpHarness&)>& each_block = {}) {
  HeardMessage heard;
  testing::PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(0x60, {0});
    harness.RunBlocks(1);
    controller.Exchange(0x61, {framer_type, 0});
    controller.Exchange(0x65, {call_progress_mode, 0x01});
    controller.Exchange(0x93, {mode, 0, type});
    harness.Afe().FeedLine(line);
    for (std::size_t b = 0; b < line.size() / 96 + static_cast<std::size_t>(extra_blocks); ++b) {
      harness.RunBlocks(1);
      if (each_block) each_block(harness);
    }
    for (const auto& block : controller.RxBlocks()) {
      heard.bytes.insert(heard.bytes.end(), block.data.begin(), block.data.end());
    }
    heard.armed = harness.Context().caller_id_hook;
    heard.hook = harness.Access().hook;
  });
  return heard;
}

std::vector<std::uint8_t> Hear(const std::vector<std::int16_t>& line, std::uint8_t mode,
                               std::uint8_t type, std::uint8_t call_progress_mode = 0) {
  std::vector<std::uint8_t> bytes;
  testing::PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Post(0x60, {0});
    harness.RunBlocks(1);
    controller.Exchange(0x65, {call_progress_mode, 0x01});
    controller.Exchange(0x93, {mode, 0, type});
    harness.Afe().FeedLine(line);
    harness.RunBlocks(static_cast<int>(line.size() / 96) + 50);
    for (const auto& block : controller.RxBlocks()) {
      bytes.insert(bytes.end(), block.data.begin(), block.data.end());
    }
  });
  return bytes;
}

TEST(CallerId, FskMessagesArriveWhole) {
  struct Case {
    const char* name;
    int standard;
    bool off_hook;
    std::uint8_t mode;  // of 0x93
    std::uint8_t type;
    std::uint8_t call_progress_mode;
    std::vector<std::uint8_t> marker;
  };
  const Case cases[] = {
      {"CLASS MDMF on hook, seizure and mark", ADSI_STANDARD_CLASS, false, 1, 0, 0, {}},
      {"CLIP MDMF on hook, seizure and mark", ADSI_STANDARD_CLIP, false, 1, 0, 0, {}},
      {"CLASS MDMF on hook, FSK or DTMF", ADSI_STANDARD_CLASS, false, 1, 3, 0, {0x00}},
      {"CLASS MDMF off hook in state 6", ADSI_STANDARD_CLASS, true, 3, 0, 0, {}},
      {"CLASS MDMF off hook in the line check", ADSI_STANDARD_CLASS, true, 1, 0, 1, {}},
      {"CLASS MDMF off hook in the answer-tone watch", ADSI_STANDARD_CLASS, true, 1, 0, 2, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const AdsiFrame m = AdsiMessage(c.standard, c.off_hook);
    std::vector<std::uint8_t> expected = c.marker;
    expected.insert(expected.end(), m.bytes.begin(), m.bytes.end());
    const std::vector<std::uint8_t> heard = Hear(m.line, c.mode, c.type, c.call_progress_mode);
    ASSERT_GE(heard.size(), expected.size());
    EXPECT_EQ(std::vector<std::uint8_t>(heard.begin(), heard.begin() + static_cast<std::ptrdiff_t>(expected.size())), expected);
  }
}

// spandsp's generator for `standard` with the fields given (type, body);
// the first is the message type.
AdsiFrame AdsiRaw(int standard, const std::vector<std::pair<int, std::string>>& fields,
                bool off_hook = false) {
  adsi_tx_state_t* tx = adsi_tx_init(nullptr, standard);
  if (off_hook) adsi_tx_set_preamble(tx, 0, 80, 5, 1);
  std::uint8_t msg[256];
  int len = -1;
  for (const auto& [type, body] : fields) {
    len = adsi_add_field(tx, msg, len, static_cast<std::uint8_t>(type),
                         reinterpret_cast<const std::uint8_t*>(body.data()),
                         static_cast<int>(body.size()));
  }
  AdsiFrame m;
  adsi_tx_put_message(tx, msg, len);
  m.bytes.assign(msg, msg + len);
  testing::SpandspSource source([&](std::span<std::int16_t> out) {
    return adsi_tx(tx, out.data(), static_cast<int>(out.size()));
  });
  m.line = source.Take(9600 * 3);
  adsi_tx_free(tx);
  return m;
}

std::uint8_t EvenParity(std::uint8_t c) {
  return static_cast<std::uint8_t>(c | ((std::popcount(unsigned{c}) % 2) << 7));
}

// A Japanese message: its line signal, and the bytes the controller gets
// (DLE SOH BEL DLE STX, the message, DLE ETX as 7-bit characters with their
// even-parity bit 7).
struct Japanese {
  std::vector<std::int16_t> line;
  std::vector<std::uint8_t> expected;
};

Japanese JapaneseMessage() {
  AdsiFrame m = AdsiRaw(ADSI_STANDARD_JCLIP,
                      {{JCLIP_MDMF_CALLERID, ""}, {JCLIP_CALLER_NUMBER, "0312345678"}});
  m.bytes[1] = static_cast<std::uint8_t>(m.bytes.size() - 2);  // the length spandsp fills in
  Japanese j{std::move(m.line), {0x10, 0x01, 0x07, 0x10, 0x02}};
  j.expected.insert(j.expected.end(), m.bytes.begin(), m.bytes.end());
  j.expected.insert(j.expected.end(), {0x10, 0x03});
  for (std::uint8_t& c : j.expected) c = EvenParity(c);
  return j;
}

// The header method: the header, the message and DLE ETX reach the
// controller as sent.
TEST(CallerId, JapaneseHeaderMethodDeliversTheHeaderAndBodyWithParity) {
  const Japanese j = JapaneseMessage();
  const std::vector<std::uint8_t>& expected = j.expected;
  const HeardMessage heard = HearAll(j.line, 1, 1);
  ASSERT_GE(heard.bytes.size(), expected.size());
  EXPECT_EQ(std::vector<std::uint8_t>(heard.bytes.begin(),
                                      heard.bytes.begin() + static_cast<std::ptrdiff_t>(expected.size())),
            expected);
}

// A single-data message heard off hook (the start-pattern method) in
// state 6, the line check and the answer-tone watch: its type byte 0x04
// starts it, and it arrives whole.
TEST(CallerId, SingleDataMessageOffHookArrivesWhole) {
  AdsiFrame m = AdsiRaw(ADSI_STANDARD_CLASS, {{CLASS_SDMF_CALLERID, ""}, {0, "10011750555123"}},
                      true);
  m.bytes[1] = static_cast<std::uint8_t>(m.bytes.size() - 2);
  std::uint8_t sum = 0;
  for (const std::uint8_t b : m.bytes) sum = static_cast<std::uint8_t>(sum + b);
  m.bytes.push_back(static_cast<std::uint8_t>(-sum));
  struct Case {
    std::uint8_t mode;  // of 0x93
    std::uint8_t call_progress_mode;
  };
  for (const Case c : {Case{3, 0}, Case{1, 1}, Case{1, 2}}) {
    SCOPED_TRACE(::testing::Message() << "0x93 mode " << int{c.mode} << ", call progress "
                                    << int{c.call_progress_mode});
    const HeardMessage heard = HearAll(m.line, c.mode, 0, 0, 50, c.call_progress_mode);
    ASSERT_GE(heard.bytes.size(), m.bytes.size());
    EXPECT_EQ(std::vector<std::uint8_t>(heard.bytes.begin(),
                                        heard.bytes.begin() + static_cast<std::ptrdiff_t>(m.bytes.size())),
              m.bytes);
  }
}

// On hook, the end of the message ends caller ID and releases the hook.
TEST(CallerId, TheEndOfAnOnHookMessageReleasesTheHook) {
  const AdsiFrame m = AdsiMessage(ADSI_STANDARD_CLASS, false);
  const HeardMessage heard = HearAll(m.line, 1, 0);
  EXPECT_GE(heard.bytes.size(), m.bytes.size());
  EXPECT_EQ(heard.armed, 0u);
  EXPECT_EQ(heard.hook, 0u);
}

// Digits of 100 ms with 100 ms between them.
std::vector<std::int16_t> Dtmf(std::string_view digits) {
  testing::SpandspSource source(testing::SpandspDtmf(digits, -10, 2, 100, 100));
  return source.Take(static_cast<std::size_t>(digits.size() * 200 * 96 / 10 + 9600));
}

// The DTMF path: the digits as characters (framer type 1, or switched to it
// by type 3 with its marker 0xFF first); a second of silence after them
// ends caller ID and releases the hook relay.
TEST(CallerId, DtmfMessagesArriveAsCharactersAndTheIdleTimeOutEndsThem) {
  struct Case {
    const char* name;
    std::uint8_t type;
    std::uint8_t framer_type;
    std::string expected;
  };
  const Case cases[] = {{"type 2", 2, 1, "A5551234C"}, {"type 3", 3, 0, "\xFF" "A5551234C"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const HeardMessage heard = HearAll(Dtmf("A5551234C"), 1, c.type, c.framer_type, 150);
    EXPECT_EQ(std::string(heard.bytes.begin(), heard.bytes.end()), c.expected);
    EXPECT_EQ(heard.armed, 0u);
    EXPECT_EQ(heard.hook, 0u);
  }
}

TEST(CallerId, DigitsBeforeAStartDigitGiveNothing) {
  const HeardMessage heard = HearAll(Dtmf("5512"), 1, 2, 1, 150);
  EXPECT_TRUE(heard.bytes.empty());
  EXPECT_EQ(heard.armed, 1u);  // still waiting for a message
  const HeardMessage after = HearAll(Dtmf("5D12C"), 1, 2, 1, 150);
  EXPECT_EQ(std::string(after.bytes.begin(), after.bytes.end()), "D12C");
}

// The header method looks for no header in a weak signal: below -35 dB on
// the receiver's level scale the gain is frozen (mantissa 0x4000, exponent
// 3) and stays frozen, block after block, for as long as the signal stays
// weak, however the frozen gain reads; a message at a normal level
// releases it, and only that message arrives.
TEST(CallerId, BelowMinus35DbTheGainStaysFrozenUntilTheSignalRises) {
  const Japanese j = JapaneseMessage();
  constexpr double kWeakDb = -30;  // the message at -12 dB, the weak copy at -42 dB on that scale
  std::vector<std::int16_t> line(20 * 96, 0);
  const std::size_t weak_from = line.size() / 96;
  for (const std::int16_t s : j.line) {
    line.push_back(static_cast<std::int16_t>(std::lround(s * std::pow(10, kWeakDb / 20))));
  }
  const std::size_t normal_from = line.size() / 96;
  line.insert(line.end(), j.line.begin(), j.line.end());

  struct Gain {
    std::uint32_t freeze;
    std::int16_t mantissa;
    std::int16_t exponent;
  };
  std::vector<Gain> gains;
  const HeardMessage heard = HearAll(line, 1, 1, 0, 0, 0, [&](testing::PumpHarness& harness) {
    const FskAgc& g = harness.Context().fsk.agc;
    gains.push_back({g.freeze, g.mantissa, g.exponent});
  });
  const std::vector<std::uint8_t>& bytes = heard.bytes;
  for (std::size_t b = 1; b < normal_from; ++b) {
    SCOPED_TRACE(::testing::Message() << "weak or silent block " << b);
    EXPECT_EQ(gains[b].freeze, 1u);
    EXPECT_EQ(gains[b].mantissa, 0x4000);
    EXPECT_EQ(gains[b].exponent, 3);
  }
  EXPECT_GT(normal_from, weak_from);
  const auto released = std::find_if(gains.begin() + static_cast<std::ptrdiff_t>(normal_from),
                                      gains.end(), [](const Gain& g) { return g.freeze == 0; });
  EXPECT_NE(released, gains.end()) << "the normal message releases the gain";
  ASSERT_GE(bytes.size(), j.expected.size());
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(),
                                      bytes.begin() + static_cast<std::ptrdiff_t>(j.expected.size())),
            j.expected);
}

}  // namespace
}  // namespace pump
