// The context's copy of the front end's AfeInfo record, refreshed by
// request 20 whenever the front end may have changed it.
#pragma once

#include "pump/afe_access/afe_access.h"
#include "pump/context/dsp_context.h"

namespace pump {

inline LONG RefreshAfeInfo(DspContext& context) {
  ULONG size = sizeof context.afe_info;
  return IssueAfeRequest(*context.afe, afe::kAfeGetInfo, &context.afe_info, &size);
}

}  // namespace pump
