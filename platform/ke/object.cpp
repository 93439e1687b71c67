#include "platform/ke/object.h"

#include <cstring>
#include <new>
#include <string>

#include "platform/diag/fatal.h"
#include "platform/ke/kernel.h"

namespace plat::ke {
namespace {

constexpr ULONG kObjectSignature = 0x4F626A21;  // "!jbO"
constexpr ULONG kDeadSignature = 0x44656164;

ObjectHeader* HeaderOf(PVOID body, const char* service) {
  if (body == nullptr) diag::Fatal("ob.bad-object", std::string(service) + " of a null object");
  auto* header = reinterpret_cast<ObjectHeader*>(static_cast<std::byte*>(body) - kHeaderBytes);
  if (header->signature == kDeadSignature) {
    header->owner->Fatal("ob.negative-references",
                         std::string(service) + " of object #" + std::to_string(header->number) +
                             " (" + header->type->name + ") whose references all went");
  }
  if (header->signature != kObjectSignature) {
    diag::Fatal("ob.bad-object", std::string(service) +
                                     " of memory that is no live object (never made, or deleted)");
  }
  return header;
}

}  // namespace

const ObjectType kThreadObjectType{"Thread", nullptr};

PVOID CreateObject(Kernel& machine, const ObjectType& type, std::size_t body_bytes) {
  void* memory = ::operator new (kHeaderBytes + body_bytes, std::align_val_t{16});
  std::memset(memory, 0, kHeaderBytes + body_bytes);
  auto* header = static_cast<ObjectHeader*>(memory);
  header->signature = kObjectSignature;
  header->references = 1;
  header->type = &type;
  header->owner = &machine;
  header->number = machine.NextObjectNumber();
  machine.AdoptObject(header);
  return BodyOf(header);
}

void ReleaseObjectMemory(ObjectHeader* header) {
  ::operator delete (static_cast<void*>(header), std::align_val_t{16});
}

const ObjectType& TypeOfObject(PVOID body) { return *HeaderOf(body, "TypeOfObject")->type; }
LONG ReferencesOf(PVOID body) { return HeaderOf(body, "ReferencesOf")->references; }
ULONG NumberOfObject(PVOID body) { return HeaderOf(body, "NumberOfObject")->number; }
Kernel& OwnerOfObject(PVOID body) { return *HeaderOf(body, "OwnerOfObject")->owner; }

}  // namespace plat::ke

void ObReferenceObject(PVOID Object) {
  ++plat::ke::HeaderOf(Object, "ObReferenceObject")->references;
}

LONG_PTR ObDereferenceObject(PVOID Object) {
  using namespace plat::ke;
  ObjectHeader* header = HeaderOf(Object, "ObDereferenceObject");
  const LONG left = --header->references;
  if (left == 0) {
    if (header->type->destroy != nullptr) header->type->destroy(Object);
    // The memory stays until the machine goes, so a late use is named, not undefined.
    header->signature = kDeadSignature;
    header->owner->ForgetObject(header);
  }
  return left;
}
