#include "platform/line/exchange/tests/dial_driver.h"

#include <cmath>
#include <vector>

#include "platform/ke/dpc.h"
#include "platform/ke/kernel.h"
#include "platform/line/det_math.h"
#include "platform/line/levels.h"
#include "platform/machine/testing/claimed_controller.h"
#include "platform/sim/registers.h"

namespace plat::line::exchange::testing {
namespace {

namespace reg = sim::reg;

constexpr ULONG kRingWords = 16384;  // 2.3 s at 7200 Hz
constexpr int kCodecHz = 7200;
constexpr int kLeadSamples = kCodecHz / 20;  // DTMF goes 50 ms ahead of the DMA
constexpr int kBreakMs = 60, kMakeMs = 40, kBetweenMs = 700, kToneMs = 70;

enum class Action { kOffHook, kOnHook, kWriteDtmf, kClearRing };
struct Step {
  int at_ms;  // from the driver's start
  Action action;
};

struct DialDriver : plat::testing::ClaimedController {
  KTIMER timer{};
  KDPC dpc{};
  std::vector<Step> steps;
  std::size_t next = 0;
  int now_ms = 0;
  std::string number;
};

DialDriver& Globals() { return ke::CurrentKernel().slots().Get<DialDriver>(); }

std::vector<Step> Script(const DialChoice& choice) {
  std::vector<Step> steps = {{kOffHookMs, Action::kOffHook}};
  int t = kFirstDigitMs;
  if (choice.method == DialMethod::kDtmf) {
    steps.push_back({t, Action::kWriteDtmf});
    t += static_cast<int>(choice.number.size()) * 2 * kToneMs + 200;
    steps.push_back({t, Action::kClearRing});
  } else {
    for (char d : choice.number) {
      for (int p = 0; p < (d == '0' ? 10 : d - '0'); ++p) {
        steps.push_back({t, Action::kOnHook});
        steps.push_back({t + kBreakMs, Action::kOffHook});
        t += kBreakMs + kMakeMs;
      }
      t += kBetweenMs;
    }
  }
  steps.push_back({t + 1000, Action::kOnHook});
  return steps;
}

// Where the transmit DMA reads now. Reading the register also brings the
// controller up to now, so what it played so far came from the ring as it was.
ULONG TransmitPosition(const DialDriver& d) {
  return (d.Read32(reg::kTxBase + 4 * reg::kCurrentWord) - d.logical[1].u.LowPart) / 4;
}

// The DTMF of `number` at 7200 Hz into the transmit ring, from `kLeadSamples`
// ahead of where the DMA reads now.
void WriteDtmf(DialDriver& d) {
  static constexpr struct {
    char key;
    double low, high;
  } kKeys[] = {{'1', 697, 1209}, {'2', 697, 1336}, {'3', 697, 1477}, {'4', 770, 1209},
               {'5', 770, 1336}, {'6', 770, 1477}, {'7', 852, 1209}, {'8', 852, 1336},
               {'9', 852, 1477}, {'*', 941, 1209}, {'0', 941, 1336}, {'#', 941, 1477}};
  ULONG word = (TransmitPosition(d) + kLeadSamples) % kRingWords;
  const double peak = SinePeak(-10.0);
  const int tone = kCodecHz * kToneMs / 1000;
  for (char c : d.number) {
    for (const auto& k : kKeys) {
      if (k.key != c) continue;
      for (int n = 0; n < 2 * tone; ++n, word = (word + 1) % kRingWords) {
        double v = 0.0;
        if (n < tone) v = peak * (SinPi(2.0 * k.low * n / kCodecHz) + SinPi(2.0 * k.high * n / kCodecHz));
        d.TransmitWords()[word] = static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v)));
      }
    }
  }
}

void RunStep(PKDPC, PVOID, PVOID, PVOID) {
  DialDriver& d = Globals();
  const Step step = d.steps[d.next++];
  d.now_ms = step.at_ms;
  switch (step.action) {
    case Action::kOffHook:
      d.Write(reg::kHook, reg::kOffHook);
      break;
    case Action::kOnHook:
      d.Write(reg::kHook, 0);
      break;
    case Action::kWriteDtmf:
      WriteDtmf(d);
      break;
    case Action::kClearRing:
      TransmitPosition(d);  // the digits have played by now
      for (ULONG i = 0; i < kRingWords; ++i) d.TransmitWords()[i] = 0;
      break;
  }
  if (d.next == d.steps.size()) return;
  LARGE_INTEGER due;
  due.QuadPart = -10'000LL * (d.steps[d.next].at_ms - d.now_ms);
  KeSetTimer(&d.timer, due, &d.dpc);
}

void DialUnload(PDRIVER_OBJECT driver) {
  DialDriver& d = Globals();
  KeCancelTimer(&d.timer);
  d.Write(reg::kRun, 0);
  d.Write(reg::kHook, 0);
  plat::testing::ReleaseController(d, true, true);
  IoDeleteDevice(driver->DeviceObject);
}

}  // namespace

NTSTATUS DialDriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  DialDriver& d = Globals();
  const DialChoice& choice = ke::CurrentKernel().slots().Get<DialChoice>();
  UNICODE_STRING name;
  RtlInitUnicodeString(&name, u"\\Device\\DialTest");
  PDEVICE_OBJECT device = nullptr;
  NTSTATUS status = IoCreateDevice(driver, 0, &name, 0x22, 0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  if (NT_SUCCESS(status = plat::testing::ClaimController(d))) {
    status = plat::testing::TakeBuffers(d, kRingWords);
  }
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }
  plat::testing::StartRing(d, false);
  d.number = choice.number;
  d.steps = Script(choice);
  KeInitializeTimer(&d.timer);
  KeInitializeDpc(&d.dpc, RunStep, nullptr);
  LARGE_INTEGER due;
  due.QuadPart = -10'000LL * d.steps[0].at_ms;
  KeSetTimer(&d.timer, due, &d.dpc);
  driver->DriverUnload = DialUnload;
  return STATUS_SUCCESS;
}

}  // namespace plat::line::exchange::testing
