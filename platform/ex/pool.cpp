#include "platform/ex/pool.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "platform/diag/fatal.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define VX_POISON_REGION(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define VX_UNPOISON_REGION(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define VX_POISON_REGION(p, n) ((void)(p), (void)(n))
#define VX_UNPOISON_REGION(p, n) ((void)(p), (void)(n))
#endif

namespace plat::ex {
namespace {

constexpr std::align_val_t kAlignment{16};
// Freed blocks stay poisoned and unusable until this much has been freed after them.
constexpr std::size_t kQuarantineLimitBytes = 4u << 20;

const char* TypeName(POOL_TYPE type) { return type == PagedPool ? "paged" : "non-paged"; }

}  // namespace

std::string TagText(ULONG tag) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((tag >> (8 * i)) & 0xFF);
    text += (c >= 0x20 && c < 0x7F) ? c : '?';
  }
  return text;
}

Pool::Pool(std::string name) : name_(std::move(name)) {}

Pool::~Pool() {
  for (const auto& [address, block] : live_) Release(address, block.bytes);
  for (const auto& q : quarantine_) Release(q.address, q.block.bytes);
}

bool Pool::ShouldFail(SIZE_T bytes, ULONG tag) {
  if (fail_at_attempt_ != 0 && attempts_ == fail_at_attempt_) {
    fail_at_attempt_ = 0;
    return true;
  }
  if (fail_tag_ && *fail_tag_ == tag) return true;
  if (fail_above_ && bytes > *fail_above_) return true;
  return false;
}

void* Pool::Allocate(POOL_TYPE type, SIZE_T bytes, ULONG tag) {
  if (guard_ != nullptr) guard_->CheckAllocate(type);
  std::unique_lock lock(mutex_);
  ++attempts_;
  const bool failed = ShouldFail(bytes, tag);
  void* memory = nullptr;
  if (!failed) {
    memory = ::operator new(std::max<SIZE_T>(bytes, 1), kAlignment, std::nothrow);
    if (memory != nullptr) {
      std::memset(memory, kPoisonAllocated, bytes);
      live_.emplace(reinterpret_cast<std::uintptr_t>(memory), Block{attempts_, type, bytes, tag});
    }
  }
  auto observer = observer_;
  lock.unlock();
  if (observer) observer(PoolEvent{PoolEvent::Kind::Allocate, type, bytes, tag, failed});
  return memory;
}

void Pool::Free(void* pointer) {
  const auto address = reinterpret_cast<std::uintptr_t>(pointer);
  std::unique_lock lock(mutex_);
  const auto found = live_.find(address);
  if (found == live_.end()) {
    if (const auto freed = quarantined_.find(address); freed != quarantined_.end()) {
      diag::Fatal("pool.double-free",
                  "ExFreePool of a block that was already freed: " + Describe(freed->second));
    }
    std::string detail = "ExFreePool of a pointer pool '" + name_ + "' never handed out";
    if (pointer == nullptr) {
      detail = "ExFreePool of a null pointer (pool '" + name_ + "')";
    } else if (auto after = live_.upper_bound(address); after != live_.begin()) {
      const auto& [start, block] = *std::prev(after);
      if (address < start + std::max<SIZE_T>(block.bytes, 1)) {
        detail +=
            ": it points " + std::to_string(address - start) + " bytes into " + Describe(block);
      }
    }
    diag::Fatal("pool.foreign-pointer", detail);
  }
  const Block block = found->second;
  if (guard_ != nullptr) guard_->CheckFree(pointer, block.bytes, block.type);
  live_.erase(found);
  std::memset(pointer, kPoisonFreed, block.bytes);
  Quarantine(address, block);
  auto observer = observer_;
  lock.unlock();
  if (observer)
    observer(PoolEvent{PoolEvent::Kind::Free, block.type, block.bytes, block.tag, false});
}

void Pool::Quarantine(std::uintptr_t address, const Block& block) {
  VX_POISON_REGION(reinterpret_cast<void*>(address), std::max<SIZE_T>(block.bytes, 1));
  quarantine_.push_back({address, block});
  quarantined_.emplace(address, block);
  quarantine_bytes_ += block.bytes;
  while (quarantine_bytes_ > kQuarantineLimitBytes && !quarantine_.empty()) {
    const Quarantined oldest = quarantine_.front();
    quarantine_.pop_front();
    quarantined_.erase(oldest.address);
    quarantine_bytes_ -= oldest.block.bytes;
    Release(oldest.address, oldest.block.bytes);
  }
}

void Pool::Release(std::uintptr_t address, SIZE_T bytes) {
  void* memory = reinterpret_cast<void*>(address);
  VX_UNPOISON_REGION(memory, std::max<SIZE_T>(bytes, 1));
  ::operator delete(memory, kAlignment);
}

std::string Pool::Describe(const Block& block) const {
  return "block tagged '" + TagText(block.tag) + "' (" + TypeName(block.type) + ", " +
         std::to_string(block.bytes) + " bytes, allocation #" + std::to_string(block.sequence) +
         " of pool '" + name_ + "')";
}

template <typename Predicate>
PoolUsage Pool::Sum(Predicate wanted) const {
  std::lock_guard lock(mutex_);
  PoolUsage usage;
  for (const auto& [address, block] : live_) {
    if (!wanted(block)) continue;
    ++usage.blocks;
    usage.bytes += block.bytes;
  }
  return usage;
}

PoolUsage Pool::Live() const {
  return Sum([](const Block&) { return true; });
}

PoolUsage Pool::LiveByTag(ULONG tag) const {
  return Sum([tag](const Block& block) { return block.tag == tag; });
}

PoolUsage Pool::LiveByType(POOL_TYPE type) const {
  return Sum([type](const Block& block) { return block.type == type; });
}

std::uint64_t Pool::AllocationAttempts() const {
  std::lock_guard lock(mutex_);
  return attempts_;
}

std::string Pool::LeakReport() const {
  std::lock_guard lock(mutex_);
  std::vector<Block> blocks;
  for (const auto& entry : live_) blocks.push_back(entry.second);
  std::sort(blocks.begin(), blocks.end(),
            [](const Block& a, const Block& b) { return a.sequence < b.sequence; });
  std::string report;
  for (const Block& block : blocks) {
    report += "leak: tag '" + TagText(block.tag) + "' " + TypeName(block.type) + " " +
              std::to_string(block.bytes) + " bytes, allocation #" +
              std::to_string(block.sequence) + "\n";
  }
  return report;
}

void Pool::FailNthAllocation(std::uint64_t n) {
  std::lock_guard lock(mutex_);
  fail_at_attempt_ = n == 0 ? 0 : attempts_ + n;
}

void Pool::FailTag(ULONG tag) {
  std::lock_guard lock(mutex_);
  fail_tag_ = tag;
}

void Pool::FailAbove(SIZE_T bytes) {
  std::lock_guard lock(mutex_);
  fail_above_ = bytes;
}

void Pool::ClearFaults() {
  std::lock_guard lock(mutex_);
  fail_at_attempt_ = 0;
  fail_tag_.reset();
  fail_above_.reset();
}

void Pool::SetObserver(std::function<void(const PoolEvent&)> observer) {
  std::lock_guard lock(mutex_);
  observer_ = std::move(observer);
}

}  // namespace plat::ex
