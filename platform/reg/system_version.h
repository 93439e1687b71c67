// The system's version as the registry holds it: the first character of
// "CurrentVersion" under SOFTWARE\Microsoft\Windows NT\CurrentVersion.
// Every driver of the modem reads it before loading. PASSIVE_LEVEL only.
#pragma once

#include "platform/nt/ntdef.h"

// The value's first character, or 0 when the key or value is missing or
// holds less than one character.
WCHAR RegSystemVersionMajor();
