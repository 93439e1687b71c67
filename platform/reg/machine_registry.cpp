#include "platform/reg/machine_registry.h"

namespace plat::reg {
namespace {

void DestroyKeyObject(PVOID body) { static_cast<KeyObject*>(body)->~KeyObject(); }

}  // namespace

const ke::ObjectType kKeyObjectType{"Key", DestroyKeyObject};

RegistryService& RegistryOf(ke::Kernel& machine) { return machine.slots().Get<RegistryService>(); }

}  // namespace plat::reg
