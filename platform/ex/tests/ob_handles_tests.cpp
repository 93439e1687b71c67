#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ex/handletable.h"
#include "platform/ex/ob.h"
#include "platform/ke/simulation.h"
#include "platform/ke/tests/ke_test_util.h"
#include "platform/nt/ntstatus.h"

namespace plat::ex {
namespace {

using ke::testing::kMs;
using ke::testing::SleepNs;
using ke::testing::WaitNs;

// Runs body as a user thread of a fresh machine and shuts the machine down.
void OnMachine(const std::function<void(ke::Kernel&)>& body) {
  Simulation sim;
  ke::Kernel& machine = sim.AddMachine("M");
  ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] { body(machine); }));
  machine.Shutdown();
}

// An event object behind a new handle with the given access and opener.
HANDLE OpenEvent(ke::Kernel& machine, ACCESS_MASK access, KPROCESSOR_MODE opener) {
  auto* event = static_cast<PKEVENT>(ke::CreateObject(machine, kEventObjectType, sizeof(KEVENT)));
  KeInitializeEvent(event, NotificationEvent, FALSE);
  HANDLE handle = 0;
  EXPECT_EQ(HandlesOf(machine).Open(event, access, opener, &handle), STATUS_SUCCESS);
  return handle;
}

TEST(ObHandles, TypeDescriptorsAreTheKernelsTypes) {
  EXPECT_EQ(*PsThreadType, &ke::kThreadObjectType);
  EXPECT_EQ(*ExEventObjectType, &kEventObjectType);
  EXPECT_STREQ((*ExEventObjectType)->name, "Event");
}

struct ReferenceCase {
  const char* what;
  int index;  // into the handles made below; -1 for `raw`
  HANDLE raw;
  ACCESS_MASK desired;
  bool event_type;  // asks for ExEventObjectType, else PsThreadType
  NTSTATUS user;
  NTSTATUS kernel;
};

TEST(ObHandles, ReferenceChecksHandleTypeAndAccessByMode) {
  // Handles: 0 user event with query access, 1 kernel event with all access,
  // 2 a closed handle.
  const ReferenceCase cases[] = {
      {"granted access", 0, 0, EVENT_QUERY_STATE, true, STATUS_SUCCESS, STATUS_SUCCESS},
      {"no access asked", 0, 0, 0, true, STATUS_SUCCESS, STATUS_SUCCESS},
      {"missing access", 0, 0, EVENT_MODIFY_STATE, true, STATUS_ACCESS_DENIED, STATUS_SUCCESS},
      {"wrong type", 0, 0, EVENT_QUERY_STATE, false, STATUS_OBJECT_TYPE_MISMATCH,
       STATUS_OBJECT_TYPE_MISMATCH},
      {"wrong type and access", 0, 0, EVENT_MODIFY_STATE, false, STATUS_OBJECT_TYPE_MISMATCH,
       STATUS_OBJECT_TYPE_MISMATCH},
      {"kernel handle", 1, 0, EVENT_MODIFY_STATE, true, STATUS_INVALID_HANDLE, STATUS_SUCCESS},
      {"closed handle", 2, 0, 0, true, STATUS_INVALID_HANDLE, STATUS_INVALID_HANDLE},
      {"null handle", -1, 0, 0, true, STATUS_INVALID_HANDLE, STATUS_INVALID_HANDLE},
      {"not a multiple of 4", -1, 5, 0, true, STATUS_INVALID_HANDLE, STATUS_INVALID_HANDLE},
      {"never given", -1, 400, 0, true, STATUS_INVALID_HANDLE, STATUS_INVALID_HANDLE},
  };
  OnMachine([&](ke::Kernel& machine) {
    HANDLE handles[3] = {OpenEvent(machine, EVENT_QUERY_STATE, UserMode),
                         OpenEvent(machine, EVENT_ALL_ACCESS, KernelMode),
                         OpenEvent(machine, EVENT_ALL_ACCESS, KernelMode)};
    ASSERT_EQ(ZwClose(handles[2]), STATUS_SUCCESS);
    for (const auto& c : cases) {
      for (const KPROCESSOR_MODE mode : {UserMode, KernelMode}) {
        SCOPED_TRACE(std::string(c.what) + (mode == UserMode ? " from user mode" : " from kernel"));
        const HANDLE handle = c.index >= 0 ? handles[c.index] : c.raw;
        PVOID object = nullptr;
        OBJECT_HANDLE_INFORMATION info{};
        const NTSTATUS status = ObReferenceObjectByHandle(
            handle, c.desired, c.event_type ? *ExEventObjectType : *PsThreadType, mode, &object,
            &info);
        EXPECT_EQ(status, mode == UserMode ? c.user : c.kernel);
        if (status == STATUS_SUCCESS) {
          EXPECT_EQ(ke::ReferencesOf(object), 2) << "the handle's and ours";
          EXPECT_EQ(info.GrantedAccess, HandlesOf(machine).Find(handle)->access);
          ObDereferenceObject(object);
        } else {
          EXPECT_EQ(object, nullptr);
        }
      }
    }
    ZwClose(handles[0]);
    ZwClose(handles[1]);
  });
}

TEST(ObHandles, AnyTypeIsAcceptedWhenNoneIsAsked) {
  OnMachine([](ke::Kernel& machine) {
    const HANDLE handle = OpenEvent(machine, EVENT_ALL_ACCESS, KernelMode);
    PVOID object = nullptr;
    EXPECT_EQ(ObReferenceObjectByHandle(handle, 0, nullptr, KernelMode, &object, nullptr),
              STATUS_SUCCESS);
    EXPECT_EQ(&ke::TypeOfObject(object), &kEventObjectType);
    ObDereferenceObject(object);
    ZwClose(handle);
  });
}

TEST(ObHandles, AReferenceOutlivesTheHandle) {
  OnMachine([](ke::Kernel& machine) {
    const HANDLE handle = OpenEvent(machine, EVENT_ALL_ACCESS, KernelMode);
    PVOID object = nullptr;
    ASSERT_EQ(ObReferenceObjectByHandle(handle, EVENT_MODIFY_STATE, *ExEventObjectType, KernelMode,
                                        &object, nullptr),
              STATUS_SUCCESS);
    const std::size_t live = machine.LiveObjects().size();
    ASSERT_EQ(ZwClose(handle), STATUS_SUCCESS);
    EXPECT_EQ(HandlesOf(machine).Find(handle), nullptr);
    EXPECT_EQ(ke::ReferencesOf(object), 1);
    EXPECT_EQ(machine.LiveObjects().size(), live);
    KeSetEvent(static_cast<PKEVENT>(object), 0, FALSE);  // still usable
    EXPECT_EQ(KeReadStateEvent(static_cast<PKEVENT>(object)), 1);
    EXPECT_EQ(ObDereferenceObject(object), 0);
    EXPECT_EQ(machine.LiveObjects().size(), live - 1);
  });
}

TEST(ObHandles, NewHandlesTakeTheLowestFreeNumber) {
  OnMachine([](ke::Kernel& machine) {
    std::vector<HANDLE> opened;
    for (int i = 0; i < 4; ++i) opened.push_back(OpenEvent(machine, EVENT_ALL_ACCESS, KernelMode));
    EXPECT_EQ(opened, (std::vector<HANDLE>{4, 8, 12, 16}));
    ZwClose(8);
    ZwClose(4);
    EXPECT_EQ(OpenEvent(machine, EVENT_ALL_ACCESS, UserMode), 4u);
    EXPECT_EQ(OpenEvent(machine, EVENT_ALL_ACCESS, UserMode), 8u);
    EXPECT_EQ(OpenEvent(machine, EVENT_ALL_ACCESS, UserMode), 20u);
    EXPECT_EQ(HandlesOf(machine).open(), 5u);
    for (const HANDLE h : {4u, 8u, 12u, 16u, 20u}) ZwClose(h);
  });
}

TEST(ObHandles, AFullTableRefusesNewHandles) {
  OnMachine([](ke::Kernel& machine) {
    HandleTable& table = HandlesOf(machine);
    table.SetCapacity(2);
    const HANDLE a = OpenEvent(machine, EVENT_ALL_ACCESS, KernelMode);
    const HANDLE b = OpenEvent(machine, EVENT_ALL_ACCESS, KernelMode);
    PVOID event = ke::CreateObject(machine, kEventObjectType, sizeof(KEVENT));
    HANDLE c = 0;
    EXPECT_EQ(table.Open(event, EVENT_ALL_ACCESS, KernelMode, &c), STATUS_INSUFFICIENT_RESOURCES);
    ObDereferenceObject(event);

    // A system thread is not started when no handle can be had for it.
    const std::size_t live = machine.LiveObjects().size();
    HANDLE thread = 0xAAAA;
    EXPECT_EQ(PsCreateSystemThread(
                  &thread, THREAD_ALL_ACCESS, nullptr, 0, nullptr,
                  [](PVOID) { ADD_FAILURE() << "ran"; }, nullptr),
              STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(thread, 0xAAAAu);
    EXPECT_EQ(machine.LiveObjects().size(), live);
    SleepNs(kMs);

    ZwClose(a);
    EXPECT_EQ(OpenEvent(machine, EVENT_ALL_ACCESS, KernelMode), a);
    ZwClose(a);
    ZwClose(b);
  });
}

// ---- system threads ----

struct Work {
  int runs = 0;
  PVOID seen = nullptr;
};

void CountRun(PVOID context) {
  auto* work = static_cast<Work*>(context);
  ++work->runs;
  work->seen = context;
}

TEST(PsSystemThreads, TheHandleNamesAThreadThatRunsTheRoutine) {
  OnMachine([](ke::Kernel& machine) {
    Work work;
    HANDLE handle = 0;
    CLIENT_ID client{};
    ASSERT_EQ(
        PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, 0, &client, CountRun, &work),
        STATUS_SUCCESS);
    EXPECT_EQ(handle, 4u);
    const HandleEntry* entry = HandlesOf(machine).Find(handle);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->opener, KernelMode);
    EXPECT_EQ(entry->access, THREAD_ALL_ACCESS);
    EXPECT_EQ(client.UniqueThread, ke::NumberOfObject(entry->object));

    // As the block thread's start does: reference by handle, close the
    // handle, wait on the thread object later.
    PVOID thread = nullptr;
    ASSERT_EQ(ObReferenceObjectByHandle(handle, THREAD_ALL_ACCESS, *PsThreadType, KernelMode,
                                        &thread, nullptr),
              STATUS_SUCCESS);
    ASSERT_EQ(ZwClose(handle), STATUS_SUCCESS);
    EXPECT_EQ(WaitNs(thread, 5'000 * kMs), STATUS_SUCCESS);
    EXPECT_EQ(work.runs, 1);
    EXPECT_EQ(work.seen, &work);
    ObDereferenceObject(thread);
  });
}

TEST(PsSystemThreads, AFailedCreationLeavesNoHandleAndNoThread) {
  OnMachine([](ke::Kernel& machine) {
    machine.faults().thread_creation.FailNth(1);
    Work work;
    HANDLE handle = 0;
    EXPECT_EQ(
        PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, 0, nullptr, CountRun, &work),
        STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(HandlesOf(machine).open(), 0u);
    SleepNs(kMs);
    EXPECT_EQ(work.runs, 0);
    // The next creation succeeds and takes the lowest number.
    ASSERT_EQ(
        PsCreateSystemThread(&handle, THREAD_ALL_ACCESS, nullptr, 0, nullptr, CountRun, &work),
        STATUS_SUCCESS);
    EXPECT_EQ(handle, 4u);
    SleepNs(kMs);
    EXPECT_EQ(work.runs, 1);
    ZwClose(handle);
  });
}

TEST(PsSystemThreads, ObjectAttributesNameTheThread) {
  SimulationOptions options;
  options.trace = true;
  Simulation sim(options);
  ke::Kernel& machine = sim.AddMachine("M");
  ASSERT_TRUE(sim.RunUserThread(machine, "test", [&] {
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, u"BlockThread");
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_KERNEL_HANDLE, 0, nullptr);
    HANDLE handle = 0;
    ASSERT_EQ(PsCreateSystemThread(
                  &handle, THREAD_ALL_ACCESS, &attributes, 0, nullptr, [](PVOID) {}, nullptr),
              STATUS_SUCCESS);
    SleepNs(kMs);
    ZwClose(handle);
  }));
  EXPECT_NE(sim.TraceText().find("BlockThread"), std::string::npos);
  machine.Shutdown();
}

}  // namespace
}  // namespace plat::ex
