// The jump entries: one per operation that the data pump calls, under the
// operation's name. Each passes its call on, arguments and result unchanged,
// to the entry that the process's slot holds at that moment.
#include "siglib/frame/slots.h"
#include "siglib/qvls.h"

#define QVLS_DEFINE_JUMP_ENTRY(number, name, result, params, args, jump) \
  QVLS_IF_JUMP(                                                          \
      jump, result name params { return qvls_process_frame.slots.name.load() args; })
QVLS_SLOT_LIST(QVLS_DEFINE_JUMP_ENTRY)
#undef QVLS_DEFINE_JUMP_ENTRY
