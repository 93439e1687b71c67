#include "platform/ex/handletable.h"

#include <cstdio>

#include "platform/nt/ntstatus.h"

namespace plat::ex {
namespace {

std::string HandleText(HANDLE handle) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", static_cast<unsigned>(handle));
  return text;
}

}  // namespace

HandleTable::~HandleTable() {
  for (const HandleEntry& entry : entries_) {
    if (entry.object != nullptr) ObDereferenceObject(entry.object);
  }
}

std::size_t HandleTable::Index(HANDLE handle) const {
  if (handle == 0 || handle % 4 != 0 || handle / 4 > entries_.size()) return entries_.size();
  return handle / 4 - 1;
}

NTSTATUS HandleTable::Reserve(HANDLE* handle) {
  if (used_ >= capacity_) return STATUS_INSUFFICIENT_RESOURCES;
  std::size_t index = 0;
  while (index < entries_.size() &&
         (entries_[index].object != nullptr || entries_[index].reserved)) {
    ++index;
  }
  if (index == entries_.size()) entries_.emplace_back();
  entries_[index].reserved = true;
  ++used_;
  *handle = static_cast<HANDLE>((index + 1) * 4);
  return STATUS_SUCCESS;
}

void HandleTable::Fill(HANDLE handle, PVOID object, ACCESS_MASK access, KPROCESSOR_MODE opener) {
  entries_[Index(handle)] = HandleEntry{object, access, opener, false};
}

void HandleTable::Release(HANDLE handle) {
  entries_[Index(handle)] = HandleEntry{};
  --used_;
}

NTSTATUS HandleTable::Open(PVOID object, ACCESS_MASK access, KPROCESSOR_MODE opener,
                           HANDLE* handle) {
  const NTSTATUS status = Reserve(handle);
  if (status == STATUS_SUCCESS) Fill(*handle, object, access, opener);
  return status;
}

const HandleEntry* HandleTable::Find(HANDLE handle) const {
  const std::size_t index = Index(handle);
  return index < entries_.size() && entries_[index].object != nullptr ? &entries_[index] : nullptr;
}

PVOID HandleTable::Close(HANDLE handle) {
  if (Find(handle) == nullptr) return nullptr;
  HandleEntry& entry = entries_[Index(handle)];
  PVOID object = entry.object;
  entry = HandleEntry{};
  --used_;
  if (const auto close = ke::TypeOfObject(object).close_handle; close != nullptr) close(object);
  return object;
}

std::vector<std::string> HandleTable::Describe() const {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    const HandleEntry& entry = entries_[i];
    if (entry.object == nullptr) continue;
    char access[16];
    std::snprintf(access, sizeof access, "0x%x", static_cast<unsigned>(entry.access));
    lines.push_back(
        HandleText(static_cast<HANDLE>((i + 1) * 4)) + " " + ke::TypeOfObject(entry.object).name +
        " #" + std::to_string(ke::NumberOfObject(entry.object)) + " (opened by " +
        (entry.opener == UserMode ? "user" : "kernel") + " code, access " + access + ")");
  }
  return lines;
}

HandleTable& HandlesOf(ke::Kernel& kernel) {
  if (HandleTable* table = kernel.slots().Find<HandleTable>()) return *table;
  HandleTable& table = kernel.slots().Emplace<HandleTable>();
  kernel.AddShutdownCheck([&kernel, &table] {
    if (table.open() == 0) return;
    std::string list;
    for (const std::string& line : table.Describe()) list += "\n  " + line;
    kernel.Fatal("ob.handles-open-at-shutdown",
                 std::to_string(table.open()) + " handles still open:" + list);
  });
  return table;
}

const HandleEntry& RequireKernelHandle(ke::Kernel& kernel, HANDLE handle, const char* service) {
  const HandleEntry* entry = HandlesOf(kernel).Find(handle);
  if (entry == nullptr) {
    kernel.Fatal("ob.handle-not-open", std::string(service) + " from kernel code with handle " +
                                           HandleText(handle) + ", which is not open");
  }
  return *entry;
}

NTSTATUS ReferenceKernelHandle(HANDLE handle, POBJECT_TYPE type, const char* service,
                               PVOID* object) {
  const HandleEntry& entry = RequireKernelHandle(ke::CurrentKernel(), handle, service);
  if (type != nullptr && &ke::TypeOfObject(entry.object) != type) {
    return STATUS_OBJECT_TYPE_MISMATCH;
  }
  ObReferenceObject(entry.object);
  *object = entry.object;
  return STATUS_SUCCESS;
}

NTSTATUS CloseUserHandle(HANDLE handle) {
  HandleTable& table = HandlesOf(ke::CurrentKernel());
  const HandleEntry* entry = table.Find(handle);
  if (entry == nullptr || entry->opener != UserMode) return STATUS_INVALID_HANDLE;
  ObDereferenceObject(table.Close(handle));
  return STATUS_SUCCESS;
}

}  // namespace plat::ex
