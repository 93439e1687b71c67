#include "afe/windows/self_test_log.h"

namespace afe {

void SelfTestLog::Append(const SelfTestRecord& record) {
  if (count_ < capacity_) {
    records_[(oldest_ + count_) % capacity_] = record;
    ++count_;
  } else if (when_full_ == WhenFull::kDropsOldest) {
    records_[oldest_] = record;
    oldest_ = (oldest_ + 1) % capacity_;
  }
}

}  // namespace afe
