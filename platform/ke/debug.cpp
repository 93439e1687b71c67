// Debug output: prints and break points go to the machine's log.
#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/ke/kernel.h"

ULONG DbgPrint(PCSTR Format, ...) {
  va_list args;
  va_start(args, Format);
  va_list copy;
  va_copy(copy, args);
  const int length = std::vsnprintf(nullptr, 0, Format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, Format, args);
  va_end(args);
  plat::ke::CurrentKernel().AddLog(std::move(text));
  return STATUS_SUCCESS;
}

void DbgBreakPoint() { plat::ke::CurrentKernel().AddLog("break point"); }
