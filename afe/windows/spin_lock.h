// The front end's spin-lock scope is the platform's.
#pragma once

#include "platform/ke/spin_lock_held.h"

namespace afe {

using plat::ke::SpinLockHeld;

}  // namespace afe
