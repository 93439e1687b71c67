#include "layer2/corecode/mt/tests/support/fake_data_pump.h"

#include <algorithm>
#include <cstring>

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/pending/pending_log.h"
#include "platform/ke/irql.h"
#include "pump/core/host_transfer.h"
#include "pump/packets/dp_packets.h"

namespace vxctl::testing {
namespace {

constexpr std::uint16_t kFrontEndKind = 6;

template <class Payload>
std::vector<std::uint8_t> BytesOf(const Payload& payload) {
  std::vector<std::uint8_t> bytes(sizeof payload);
  std::memcpy(bytes.data(), &payload, sizeof payload);
  return bytes;
}

// The landed data pump's answers: DP_ACK, the echo of the commands that
// give one (and of key reads, the fake holding no keys), silence for key
// writes, and the query replies.
FakeAnswer PumpAnswer(std::uint8_t command) {
  switch (command) {
    case 0x64:
    case 0x6B:
    case 0x85:
    case pump::kCpMemoryRead:
    case pump::kCpParamRead:
    case pump::kCpParamReadHigh:
      return FakeAnswer::Echo();
    case pump::kCpMemoryWrite:
    case pump::kCpParamWrite:
    case pump::kCpParamWriteHigh:
      return FakeAnswer::None();
    case 0x70:
      return FakeAnswer::Reply(pump::kDpDataRate, BytesOf(pump::DpDataRatePayload{}));
    case 0x72:
      return FakeAnswer::Reply(pump::kDpMode, BytesOf(pump::DpModePayload{}));
    case 0x82:
      return FakeAnswer::Reply(pump::kDpPcmInfo, BytesOf(pump::DpPcmInfoPayload{}));
    case 0x91:
      return FakeAnswer::Reply(pump::kDpV34Info, BytesOf(pump::DpV34InfoPayload{}));
    case 0x94: {
      pump::DpVersionInfoPayload version{};
      version.afe_kind = kFrontEndKind;
      return FakeAnswer::Reply(pump::kDpVersionInfo, BytesOf(version));
    }
    default:
      return FakeAnswer::Ack();
  }
}

}  // namespace

FakeDataPump::FakeDataPump(pump::ControllerCallback callback) {
  host_ = pump::AllocHostInterface();
  pump::InitHostInterface(*host_, callback, &FakeDataPump::Wake);
  KeInitializeEvent(&free_, SynchronizationEvent, TRUE);
}

FakeDataPump::~FakeDataPump() {
  if (dsp_page() == &host_->comram) Unbind();
  pump::FreeHostInterface(host_);
}

void FakeDataPump::Bind() {
  dsp_set_comram(&host_->comram);
  dsp_set_dsp_context(Token());
}

void FakeDataPump::Unbind() {
  dsp_set_dsp_context(nullptr);
  dsp_set_comram(nullptr);
}

NTSTATUS FakeDataPump::Wake(pump::DspContext* token) {
  auto& fake = *reinterpret_cast<FakeDataPump*>(token);
  FakeDoorbell bell{fake.host_->comram, MachineState<PendingLog>().Total(), false};
  const bool entered = fake.Enter();
  bell.deferred = !entered;
  fake.doorbells_.push_back(bell);
  if (!entered) {
    ++fake.deferred_;
    return STATUS_PENDING;
  }
  fake.Dispatch();
  fake.Leave();
  return STATUS_SUCCESS;
}

bool FakeDataPump::Enter() {
  PKTHREAD self = KeGetCurrentThread();
  if (holder_ == self) return false;  // from inside its own block work
  LARGE_INTEGER no_wait{};
  const bool may_wait = KeGetCurrentIrql() == PASSIVE_LEVEL;
  if (KeWaitForSingleObject(&free_, Executive, KernelMode, FALSE, may_wait ? nullptr : &no_wait) !=
      STATUS_SUCCESS) {
    return false;
  }
  holder_ = self;
  return true;
}

void FakeDataPump::Leave() {
  for (; deferred_ > 0; --deferred_) Dispatch();
  holder_ = nullptr;
  KeSetEvent(&free_, 0, FALSE);
}

void FakeDataPump::Dispatch() {
  std::uint8_t code = 0;
  std::uint8_t length = 0;
  std::uint8_t payload[pump::kDspPacketPayload] = {};
  if (!pump::TakeCpPacket(*host_, code, length, payload)) return;
  FakePacket command{code, length, std::vector<std::uint8_t>(payload, payload + length)};
  commands_.push_back(command);
  Answer(command);
}

FakeAnswer FakeDataPump::AnswerFor(const FakePacket& command) const {
  const auto responder = responders_.find(command.code);
  if (responder != responders_.end()) return responder->second(command);
  const auto scripted = script_.find(command.code);
  return scripted != script_.end() ? scripted->second : PumpAnswer(command.code);
}

void FakeDataPump::Answer(const FakePacket& command) {
  const FakeAnswer answer = AnswerFor(command);
  Queued post;
  switch (answer.kind) {
    case FakeAnswer::Kind::kAck:
      post = {pump::kDpAck, {command.code}};
      break;
    case FakeAnswer::Kind::kReply:
      post = {answer.code, answer.payload};
      break;
    case FakeAnswer::Kind::kEcho:
      post = {command.code, command.payload};
      break;
    case FakeAnswer::Kind::kNone:
      return;
  }
  // As in the data pump, an answer that finds register 0 busy is lost.
  if (answer.at_next_block) {
    queue_.push_back(std::move(post));
  } else {
    PostNow(post.code, post.payload);
  }
}

bool FakeDataPump::PostNow(std::uint8_t code, const std::vector<std::uint8_t>& payload) {
  if (!pump::PostDpPacket(*host_, code, payload)) return false;
  const auto carried = std::min(payload.size(), pump::kDspPacketPayload);
  posted_.push_back({code, static_cast<std::uint8_t>(std::min<std::size_t>(payload.size(), 255)),
                     std::vector<std::uint8_t>(payload.begin(), payload.begin() + carried)});
  return true;
}

bool FakeDataPump::Post(std::uint8_t code, const std::vector<std::uint8_t>& payload) {
  return PostNow(code, payload);
}

void FakeDataPump::PostAtNextBlock(std::uint8_t code, std::vector<std::uint8_t> payload) {
  queue_.push_back({code, std::move(payload)});
}

void FakeDataPump::QueueRx(std::uint8_t kind, std::uint8_t count, std::vector<std::uint8_t> data) {
  rx_queue_.push_back({kind, count, std::move(data)});
}

void FakeDataPump::SetRegister(std::uint8_t reg, std::uint8_t value) {
  pump::SetDspReg(*host_, reg, value);
}

void FakeDataPump::SetReportWord(int index, std::int16_t value) {
  pump::SetDspRegWord(*host_, index, value);
}

void FakeDataPump::Interrupt() { pump::WriteDspReg(*host_, pump::kRegDpInterrupt, 1); }

void FakeDataPump::Block() {
  if (!Enter()) return;
  while (!queue_.empty() && PostNow(queue_.front().code, queue_.front().payload)) {
    queue_.pop_front();
  }
  if (!rx_queue_.empty() && pump::RxMailboxFree(*host_)) {
    const QueuedRx& block = rx_queue_.front();
    pump::PostRxMailbox(*host_, block.kind, block.count, block.data);
    rx_queue_.pop_front();
  }
  std::uint8_t kind = 0;
  std::uint8_t count = 0;
  std::uint8_t data[pump::kMailboxData] = {};
  if (pump::TakeTxMailbox(*host_, kind, count, data)) {
    tx_blocks_.push_back({kind, count, std::vector<std::uint8_t>(data, data + count)});
  }
  Leave();
}

void FakeDataPump::ClearTraces() {
  commands_.clear();
  posted_.clear();
  doorbells_.clear();
  tx_blocks_.clear();
}

}  // namespace vxctl::testing
