// The in-memory logs of self-test records: one record per test run, passed
// or failed. The power-on log takes the records of the latest power-up and
// stops when full; the request log keeps the newest records of requested
// runs. No device request reads them; they are there for a debugger.
#pragma once

#include <array>

#include "platform/nt/ntdef.h"

namespace afe {

enum class SelfTestKind : ULONG { kFailed = 1, kPassed = 4 };

struct SelfTestRecord {
  SelfTestKind Kind;
  ULONG Detail;  // the test's own detail
  ULONG Test;    // 1 to 9
  LONG Result;   // 0 when passed
  bool operator==(const SelfTestRecord&) const = default;
};
static_assert(sizeof(SelfTestRecord) == 16);

inline constexpr ULONG kPowerOnLogRecords = 10;
inline constexpr ULONG kRequestLogRecords = 30;

class SelfTestLog {
 public:
  enum class WhenFull : UCHAR { kStops, kDropsOldest };

  constexpr SelfTestLog(ULONG capacity, WhenFull when_full)
      : capacity_(capacity), when_full_(when_full) {}

  void Reset() { count_ = oldest_ = 0; }
  void Append(const SelfTestRecord& record);

  ULONG size() const { return count_; }
  // The records from the oldest (0) to the newest (size() - 1).
  const SelfTestRecord& operator[](ULONG age) const {
    return records_[(oldest_ + age) % capacity_];
  }

 private:
  std::array<SelfTestRecord, kRequestLogRecords> records_{};
  ULONG capacity_;  // at most kRequestLogRecords
  WhenFull when_full_;
  ULONG count_ = 0;
  ULONG oldest_ = 0;
};

}  // namespace afe
