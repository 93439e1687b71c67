// Dispatch on the three devices: block reads and writes through the AFE
// link, the Diagnostic device's open rules, and the control codes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "afe/windows/tests/afe_rig.h"
#include "platform/win32/files.h"
#include "platform/win32/win32.h"

namespace afe::testing {
namespace {

constexpr LPCWSTR kAfePath = u"\\\\.\\VexorTolvasaAfe";
constexpr LPCWSTR kSoundPath = u"\\\\.\\VexorTolvasaSound";
constexpr LPCWSTR kDiagnosticPath = u"\\\\.\\VexorTolvasaDiagnostic";

HANDLE Open(LPCWSTR path) {
  return CreateFile(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, 0);
}

class AfeDispatch : public AfeRig {
 protected:
  void StartFrontEnd() {
    OnKernelThread([&] { afe_ = StartOrFail(); });
  }
  AfeContext& Context() { return *afe_->Context; }

  AfeInterface* afe_ = nullptr;
};

// A read or write moves at most one ring slot (278 bytes) and reports the
// bytes it moved; before the start it moves nothing.
TEST_F(AfeDispatch, ReadsAndWritesStayWithinOneSlot) {
  struct Case {
    DWORD requested;
    DWORD moved;
  };
  const Case cases[] = {{0, 0}, {192, 192}, {278, 278}, {279, 278}, {4096, 278}};
  BootAfe();
  OnUserThread([&] {
    HANDLE afe = Open(kAfePath);
    std::vector<UCHAR> buffer(4096, 0x5A);
    DWORD moved = 99;
    EXPECT_TRUE(ReadFile(afe, buffer.data(), 192, &moved, nullptr));
    EXPECT_EQ(moved, 0u) << "not started";
    EXPECT_TRUE(WriteFile(afe, buffer.data(), 192, &moved, nullptr));
    EXPECT_EQ(moved, 0u) << "not started";
    CloseHandle(afe);
  });
  StartFrontEnd();
  // The slot after each cursor holds a ramp; the slots around it are marked.
  auto* rx = reinterpret_cast<UCHAR*>(Context().RxRing);
  std::iota(rx, rx + sizeof Context().RxRing, UCHAR{0});
  std::memset(Context().TxRing, 0x11, sizeof Context().TxRing);
  const int rx_slot = NextSlot(Context().RxReadCursor);
  const int tx_slot = NextSlot(Context().TxWriteCursor);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.requested);
    OnUserThread([&] {
      HANDLE afe = Open(kAfePath);
      std::vector<UCHAR> buffer(c.requested + 8, 0xEE);
      DWORD moved = 99;
      ASSERT_TRUE(ReadFile(afe, buffer.data(), c.requested, &moved, nullptr));
      EXPECT_EQ(moved, c.moved);
      const auto* slot = reinterpret_cast<const UCHAR*>(Context().RxRing[rx_slot]);
      EXPECT_TRUE(std::equal(slot, slot + c.moved, buffer.begin()));

      std::vector<UCHAR> block(c.requested, 0x77);
      ASSERT_TRUE(WriteFile(afe, block.data(), c.requested, &moved, nullptr));
      EXPECT_EQ(moved, c.moved);
      const auto* written = reinterpret_cast<const UCHAR*>(Context().TxRing[tx_slot]);
      EXPECT_EQ(std::count(written, written + c.moved, 0x77), c.moved);
      const auto* next = reinterpret_cast<const UCHAR*>(Context().TxRing[NextSlot(tx_slot)]);
      EXPECT_EQ(std::count(next, next + kSlotBytes, 0x11), kSlotBytes) << "the next slot";
      CloseHandle(afe);
    });
  }
  OnUserThread([&] {
    HANDLE sound = Open(kSoundPath);
    ASSERT_NE(sound, INVALID_HANDLE_VALUE);
    UCHAR buffer[64] = {};
    DWORD moved = 99;
    EXPECT_TRUE(ReadFile(sound, buffer, sizeof buffer, &moved, nullptr));
    EXPECT_EQ(moved, 0u) << "the Sound device serves no reads";
    EXPECT_TRUE(
        DeviceIoControl(sound, 0x222154, nullptr, 0, buffer, sizeof buffer, &moved, nullptr));
    EXPECT_EQ(moved, 0u) << "a control it does not know completes with nothing";
    CloseHandle(sound);
  });
}

// The Diagnostic device opens only while nobody holds the AFE device and
// nobody else holds the Diagnostic device; an open made before the start
// and closed after it counts like any other.
TEST_F(AfeDispatch, DiagnosticOpenRules) {
  BootAfe();
  HANDLE early = INVALID_HANDLE_VALUE;
  OnUserThread([&] {
    EXPECT_EQ(Open(kDiagnosticPath), INVALID_HANDLE_VALUE) << "no Diagnostic device before start";
    early = Open(kAfePath);
    ASSERT_NE(early, INVALID_HANDLE_VALUE);
  });
  StartFrontEnd();
  OnUserThread([&] {
    EXPECT_EQ(Open(kDiagnosticPath), INVALID_HANDLE_VALUE) << "the early open still holds";
    EXPECT_EQ(GetLastError(), ERROR_GEN_FAILURE);
    CloseHandle(early);
    HANDLE diagnostic = Open(kDiagnosticPath);
    ASSERT_NE(diagnostic, INVALID_HANDLE_VALUE) << "the count came back to 0";
    EXPECT_EQ(Extension().DiagnosticOwner, 1);
    EXPECT_EQ(Open(kDiagnosticPath), INVALID_HANDLE_VALUE) << "one owner at a time";
    CloseHandle(diagnostic);
    EXPECT_EQ(Extension().DiagnosticOwner, 0);
    EXPECT_EQ(Extension().OpenCount, 0);

    HANDLE afe = Open(kAfePath);
    EXPECT_EQ(Open(kDiagnosticPath), INVALID_HANDLE_VALUE) << "the modem is in use";
    CloseHandle(afe);
    diagnostic = Open(kDiagnosticPath);
    EXPECT_NE(diagnostic, INVALID_HANDLE_VALUE);
    CloseHandle(diagnostic);
  });
  EXPECT_EQ(Extension().OpenCount, 0);
}

TEST_F(AfeDispatch, UnknownCodesAreInvalidRequests) {
  BootAfe();
  StartFrontEnd();
  OnKernelThread([&] {
    for (const ULONG code : {0u, 0x222048u, 0x22203Cu, 0x46000u, 0x12345678u}) {
      SCOPED_TRACE(code);
      ULONG buffer[4] = {};
      const Reply reply = Control(code, buffer, sizeof buffer, buffer, sizeof buffer);
      EXPECT_EQ(reply.status, STATUS_INVALID_DEVICE_REQUEST);
      EXPECT_EQ(reply.information, 0u);
    }
  });
  EXPECT_EQ(Extension().StartState, kAfeStarted);
}

}  // namespace
}  // namespace afe::testing
