#include "platform/io/io_manager.h"

#include <algorithm>
#include <cstdio>

#include "platform/ke/object.h"

namespace plat::io {
namespace {

constexpr std::u16string_view kDosDevices = u"\\DOSDEVICES\\";
constexpr std::u16string_view kGlobalDos = u"\\??\\";
constexpr int kMaximumLinkDepth = 32;

std::u16string Upper(std::u16string_view text) {
  std::u16string upper(text);
  for (char16_t& c : upper) c = RtlUpcaseUnicodeChar(c);
  return upper;
}

}  // namespace

DeviceBlock& BlockOf(PDEVICE_OBJECT device) { return *reinterpret_cast<DeviceBlock*>(device); }
FileBlock& BlockOf(PFILE_OBJECT file) { return *reinterpret_cast<FileBlock*>(file); }

// ---- fault knobs ----

void NamedFault::FailNth(std::uint64_t n, NTSTATUS status) {
  nth_.FailNth(n);
  nth_status_ = status;
}

void NamedFault::FailName(std::u16string_view name, NTSTATUS status) {
  name_ = IoManager::Canonical(name);
  name_status_ = status;
}

void NamedFault::Clear() {
  nth_.Clear();
  name_.clear();
}

NTSTATUS NamedFault::Check(std::u16string_view name) {
  if (nth_.ShouldFail()) return nth_status_;
  if (!name_.empty() && IoManager::Canonical(name) == name_) return name_status_;
  return STATUS_SUCCESS;
}

// ---- namespace ----

std::u16string IoManager::Canonical(std::u16string_view name) {
  if (name.empty() || name.front() != u'\\') return {};
  std::u16string upper = Upper(name);
  if (upper.starts_with(kDosDevices)) {
    upper = std::u16string(kGlobalDos) + upper.substr(kDosDevices.size());
  }
  if (upper.size() > 1 && upper.back() == u'\\') return {};
  return upper;
}

NTSTATUS IoManager::InsertName(std::u16string_view name, NameEntry entry) {
  std::u16string key = Canonical(name);
  if (key.empty()) return STATUS_OBJECT_NAME_INVALID;
  if (names_.count(key) != 0) return STATUS_OBJECT_NAME_COLLISION;
  entry.display = std::u16string(name);
  names_.emplace(std::move(key), std::move(entry));
  return STATUS_SUCCESS;
}

bool IoManager::RemoveName(std::u16string_view name) { return names_.erase(Canonical(name)) != 0; }

const NameEntry* IoManager::FindName(std::u16string_view name) const {
  const auto found = names_.find(Canonical(name));
  return found == names_.end() ? nullptr : &found->second;
}

NTSTATUS IoManager::Resolve(std::u16string_view name, PDEVICE_OBJECT* device) const {
  std::u16string current(name);
  for (int depth = 0; depth < kMaximumLinkDepth; ++depth) {
    if (Canonical(current).empty()) return STATUS_OBJECT_NAME_INVALID;
    const NameEntry* entry = FindName(current);
    if (entry == nullptr) return STATUS_OBJECT_NAME_NOT_FOUND;
    if (entry->device != nullptr) {
      *device = entry->device;
      return STATUS_SUCCESS;
    }
    current = entry->link_target;
  }
  return STATUS_OBJECT_NAME_NOT_FOUND;
}

std::u16string IoManager::DeviceName(ULONG number) const {
  const auto found = device_names_.find(number);
  return found == device_names_.end() ? std::u16string() : found->second;
}

// ---- requests ----

IrpRecord& IoManager::AddRecord(PIRP irp, ULONG number, Origin origin) {
  IrpRecord& record = records_[number];
  record.irp = irp;
  record.number = number;
  record.origin = origin;
  record.made_by = ke::CurrentOwner();
  return record;
}

IrpRecord* IoManager::FindRecord(ULONG number) {
  const auto found = records_.find(number);
  return found == records_.end() ? nullptr : &found->second;
}

// Dispatch routines still running on a removed request find it gone by its
// number and check only what completion told their frames.
void IoManager::RemoveRecord(ULONG number) { records_.erase(number); }

std::vector<PIRP> IoManager::PendingOn(PFILE_OBJECT file) const {
  std::vector<PIRP> pending;
  for (const auto& [number, record] : records_) {
    if (record.file == file && !record.completed) pending.push_back(record.irp);
  }
  return pending;
}

// ---- drivers ----

void IoManager::RemoveDriver(PDRIVER_OBJECT driver) { std::erase(drivers_, driver); }

// ---- trace ----

void IoManager::Trace(std::string text) {
  ke::TraceRecord record = ke::MakeTextTrace(ke::TraceKind::Note, std::move(text));
  record.label = "io";
  kernel_.Trace(std::move(record));
}

// At the machine's shutdown no request may be left with a driver.
void IoManager::CheckShutdown() {
  for (const auto& [number, record] : records_) {
    if (record.completed && record.origin == Origin::Allocated) continue;
    const PIRP irp = record.irp;
    const PDEVICE_OBJECT holder = irp->CurrentLocation <= irp->StackCount
                                      ? IoGetCurrentIrpStackLocation(irp)->DeviceObject
                                      : nullptr;
    Fatal("io.outstanding-at-shutdown",
          "request " + std::to_string(number) + " is still outstanding" +
              (holder != nullptr ? " on " + DeviceText(holder) : std::string()) + " at shutdown" +
              ke::MadeBy(record.made_by));
  }
}

IoManager& ManagerOf(ke::Kernel& kernel) {
  if (IoManager* found = kernel.slots().Find<IoManager>()) return *found;
  IoManager& io = kernel.slots().Emplace<IoManager>(kernel);
  kernel.AddShutdownCheck([&io] { io.CheckShutdown(); });
  return io;
}

std::string Narrow(std::u16string_view text) {
  std::string narrow;
  for (char16_t c : text) narrow += c < 0x80 ? static_cast<char>(c) : '?';
  return narrow;
}

std::u16string FromCounted(PCUNICODE_STRING string) {
  if (string == nullptr || string->Buffer == nullptr) return {};
  plat::ex::CheckUnicodeString(*string, "I/O manager");
  return std::u16string(string->Buffer, string->Length / sizeof(WCHAR));
}

std::string DeviceText(const IoManager& io, ULONG number) {
  std::string text = "device " + std::to_string(number);
  const std::u16string name = io.DeviceName(number);
  if (!name.empty()) text += " " + Narrow(name);
  return text;
}

std::string DriverText(PDRIVER_OBJECT driver) {
  return driver != nullptr ? Narrow(FromCounted(&driver->DriverName)) : std::string();
}

std::string DeviceText(PDEVICE_OBJECT device) {
  if (device == nullptr) return "no device";
  return DeviceText(ManagerOf(ke::OwnerOfObject(device)), BlockOf(device).number);
}

std::string MajorText(UCHAR major) {
  switch (major) {
    case IRP_MJ_CREATE:
      return "CREATE";
    case IRP_MJ_CLOSE:
      return "CLOSE";
    case IRP_MJ_READ:
      return "READ";
    case IRP_MJ_WRITE:
      return "WRITE";
    case IRP_MJ_FLUSH_BUFFERS:
      return "FLUSH";
    case IRP_MJ_DEVICE_CONTROL:
      return "DEVICE_CONTROL";
    case IRP_MJ_INTERNAL_DEVICE_CONTROL:
      return "INTERNAL_DEVICE_CONTROL";
    case IRP_MJ_CLEANUP:
      return "CLEANUP";
  }
  char text[16];
  std::snprintf(text, sizeof text, "MJ 0x%02X", major);
  return text;
}

}  // namespace plat::io
