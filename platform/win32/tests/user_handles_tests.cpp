#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "platform/ex/handletable.h"
#include "platform/ke/simulation.h"
#include "platform/nt/ntstatus.h"
#include "platform/win32/win32.h"

namespace plat::win32 {
namespace {

constexpr std::uint64_t kMs = 1'000'000;

class UserHandles : public ::testing::Test {
 protected:
  // Runs body as the program's main user thread.
  void Program(const std::function<void()>& body) {
    ASSERT_TRUE(sim.RunUserThread(machine, "program", body));
  }
  void TearDown() override { machine.Shutdown(); }

  Simulation sim;
  ke::Kernel& machine = sim.AddMachine("M");
};

TEST_F(UserHandles, EventsSignalAndResetByTheirKind) {
  Program([&] {
    const HANDLE manual = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    const HANDLE automatic = CreateEvent(nullptr, FALSE, TRUE, nullptr);
    ASSERT_NE(manual, 0u);
    ASSERT_NE(automatic, 0u);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT) << "a satisfied wait resets it";
    EXPECT_TRUE(SetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, INFINITE), WAIT_OBJECT_0) << "stays set";
    EXPECT_TRUE(ResetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(manual));
    EXPECT_TRUE(CloseHandle(automatic));
  });
}

TEST_F(UserHandles, TimeoutsAreMillisecondsOfVirtualTime) {
  Program([&] {
    const HANDLE event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    const std::uint64_t start = sim.Now();
    EXPECT_EQ(WaitForSingleObject(event, 250), WAIT_TIMEOUT);
    EXPECT_EQ(sim.Now() - start, 250 * kMs);
    Sleep(40);
    EXPECT_EQ(sim.Now() - start, 290 * kMs);
    CloseHandle(event);
  });
}

DWORD SetAfterDelay(LPVOID event) {
  Sleep(30);
  SetEvent(*static_cast<HANDLE*>(event));
  return 0;
}

TEST_F(UserHandles, AThreadOfTheProgramWakesItsWaitAndEnds) {
  Program([&] {
    HANDLE event = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    DWORD id = 0;
    const HANDLE thread = CreateThread(nullptr, 0, SetAfterDelay, &event, 0, &id);
    ASSERT_NE(thread, 0u);
    EXPECT_NE(id, 0u);
    const std::uint64_t start = sim.Now();
    EXPECT_EQ(WaitForSingleObject(event, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(sim.Now() - start, 30 * kMs);
    EXPECT_EQ(WaitForSingleObject(thread, 1000), WAIT_OBJECT_0) << "signalled when it ends";
    CloseHandle(thread);
    CloseHandle(event);
  });
}

TEST_F(UserHandles, WaitForMultipleGivesTheLowestSignalledIndexOrWaitsForAll) {
  Program([&] {
    std::array<HANDLE, 6> events{};  // more than the three a thread waits on without blocks
    for (HANDLE& e : events) e = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForMultipleObjects(6, events.data(), FALSE, 0), WAIT_TIMEOUT);
    SetEvent(events[4]);
    SetEvent(events[2]);
    EXPECT_EQ(WaitForMultipleObjects(6, events.data(), FALSE, 0), WAIT_OBJECT_0 + 2);
    EXPECT_EQ(WaitForMultipleObjects(6, events.data(), TRUE, 10), WAIT_TIMEOUT);
    for (const HANDLE e : events) SetEvent(e);
    EXPECT_EQ(WaitForMultipleObjects(6, events.data(), TRUE, 10), WAIT_OBJECT_0);
    for (const HANDLE e : events) CloseHandle(e);
  });
}

struct FailureCase {
  const char* what;
  std::function<DWORD()> call;  // WaitFor... result, or FALSE/TRUE of a BOOL call
  DWORD result;
  DWORD error;
};

TEST_F(UserHandles, FailuresSetTheLastError) {
  Program([&] {
    HANDLE event = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    HANDLE closed = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    CloseHandle(closed);
    HANDLE kernel = 0;  // a handle kernel code opened: not the program's
    ASSERT_EQ(PsCreateSystemThread(
                  &kernel, THREAD_ALL_ACCESS, nullptr, 0, nullptr, [](PVOID) {}, nullptr),
              STATUS_SUCCESS);
    const HANDLE twice[2] = {event, event};
    const HANDLE mixed[2] = {event, 4000};
    const FailureCase cases[] = {
        {"closed handle", [&] { return WaitForSingleObject(closed, 0); }, WAIT_FAILED,
         ERROR_INVALID_HANDLE},
        {"null handle", [&] { return WaitForSingleObject(0, 0); }, WAIT_FAILED,
         ERROR_INVALID_HANDLE},
        {"kernel handle", [&] { return WaitForSingleObject(kernel, 0); }, WAIT_FAILED,
         ERROR_INVALID_HANDLE},
        {"one bad among many", [&] { return WaitForMultipleObjects(2, mixed, FALSE, 0); },
         WAIT_FAILED, ERROR_INVALID_HANDLE},
        {"an object twice in a wait for all",
         [&] { return WaitForMultipleObjects(2, twice, TRUE, 0); }, WAIT_FAILED,
         ERROR_INVALID_PARAMETER},
        {"no objects", [&] { return WaitForMultipleObjects(0, twice, FALSE, 0); }, WAIT_FAILED,
         ERROR_INVALID_PARAMETER},
        {"65 objects", [&] { return WaitForMultipleObjects(65, twice, FALSE, 0); }, WAIT_FAILED,
         ERROR_INVALID_PARAMETER},
        {"set a thread", [&] { return static_cast<DWORD>(SetEvent(kernel)); }, FALSE,
         ERROR_INVALID_HANDLE},
        {"close twice", [&] { return static_cast<DWORD>(CloseHandle(closed)); }, FALSE,
         ERROR_INVALID_HANDLE},
        {"close a kernel handle", [&] { return static_cast<DWORD>(CloseHandle(kernel)); }, FALSE,
         ERROR_INVALID_HANDLE},
        {"named event",
         [&] { return static_cast<DWORD>(CreateEvent(nullptr, TRUE, FALSE, u"Global\\x")); }, 0,
         ERROR_NOT_SUPPORTED},
        {"suspended thread",
         [&] {
           return static_cast<DWORD>(CreateThread(nullptr, 0, SetAfterDelay, nullptr, 4, nullptr));
         },
         0, ERROR_INVALID_PARAMETER},
    };
    for (const auto& c : cases) {
      SetLastError(ERROR_SUCCESS);
      EXPECT_EQ(c.call(), c.result) << c.what;
      EXPECT_EQ(GetLastError(), c.error) << c.what;
    }
    CloseHandle(event);
    ZwClose(kernel);  // kernel code closes what kernel code opened
  });
}

DWORD RecordOwnError(LPVOID out) {
  SetLastError(1234);
  Sleep(10);
  *static_cast<DWORD*>(out) = GetLastError();
  return 0;
}

TEST_F(UserHandles, EachThreadKeepsItsOwnLastError) {
  Program([&] {
    DWORD seen_by_thread = 0;
    const HANDLE thread = CreateThread(nullptr, 0, RecordOwnError, &seen_by_thread, 0, nullptr);
    SetLastError(5);
    Sleep(5);
    CloseHandle(4000);  // fails while the thread sleeps: ERROR_INVALID_HANDLE is ours only
    WaitForSingleObject(thread, INFINITE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(seen_by_thread, 1234u);
    CloseHandle(thread);
  });
}

TEST_F(UserHandles, AFullHandleTableFailsCreation) {
  ex::HandlesOf(machine).SetCapacity(1);
  Program([&] {
    const HANDLE first = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    EXPECT_NE(first, 0u);
    EXPECT_EQ(CreateEvent(nullptr, TRUE, FALSE, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_NO_SYSTEM_RESOURCES);
    int ran = 0;
    EXPECT_EQ(CreateThread(
                  nullptr, 0, [](LPVOID r) -> DWORD { return ++*static_cast<int*>(r); }, &ran, 0,
                  nullptr),
              0u);
    EXPECT_EQ(GetLastError(), ERROR_NO_SYSTEM_RESOURCES);
    Sleep(1);
    EXPECT_EQ(ran, 0);
    CloseHandle(first);
  });
}

// The sound device's set-events request, as the voice bridge makes it: the
// program hands eight event handles to kernel code, which references each
// for query and modify access in the caller's mode and later sets them from
// a system thread.
TEST_F(UserHandles, EventsHandedToKernelCodeWakeTheProgram) {
  Program([&] {
    std::array<HANDLE, 8> handles{};
    for (HANDLE& h : handles) h = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    static_assert(sizeof handles == 32, "eight 32-bit handles in 32 bytes");

    std::array<PVOID, 8> referenced{};
    for (std::size_t i = 0; i < handles.size(); ++i) {
      ASSERT_EQ(ObReferenceObjectByHandle(handles[i], EVENT_QUERY_STATE | EVENT_MODIFY_STATE,
                                          *ExEventObjectType, ExGetPreviousMode(), &referenced[i],
                                          nullptr),
                STATUS_SUCCESS);
    }
    HANDLE worker = 0;
    auto signal = [](PVOID events) {
      LARGE_INTEGER delay;
      delay.QuadPart = -20 * 10'000;  // 20 ms
      KeDelayExecutionThread(KernelMode, FALSE, &delay);
      KeSetEvent(static_cast<PKEVENT>(static_cast<PVOID*>(events)[3]), 0, FALSE);
    };
    ASSERT_EQ(PsCreateSystemThread(&worker, THREAD_ALL_ACCESS, nullptr, 0, nullptr, signal,
                                   referenced.data()),
              STATUS_SUCCESS);
    // The program closes its handles early; the kernel's references keep the events.
    for (std::size_t i = 0; i < 8; ++i) {
      if (i != 3) CloseHandle(handles[i]);
    }
    EXPECT_EQ(WaitForSingleObject(handles[3], 1000), WAIT_OBJECT_0);
    CloseHandle(handles[3]);
    ZwClose(worker);
    for (PVOID event : referenced) ObDereferenceObject(event);
  });
}

}  // namespace
}  // namespace plat::win32
