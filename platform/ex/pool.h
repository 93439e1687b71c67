// The kernel pool: tagged blocks with accounting, poisoning, misuse detection
// and fault injection. One Pool per simulated machine; code outside any
// machine uses the process-wide default pool (see expool.h).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/nt/ntdef.h"

enum POOL_TYPE : int {
  NonPagedPool = 0,
  PagedPool = 1,
};

namespace plat::ex {

// A pool tag as it reads in memory and in reports: PoolTag("Ddk ").
constexpr ULONG PoolTag(const char (&text)[5]) {
  return static_cast<ULONG>(static_cast<unsigned char>(text[0])) |
         static_cast<ULONG>(static_cast<unsigned char>(text[1])) << 8 |
         static_cast<ULONG>(static_cast<unsigned char>(text[2])) << 16 |
         static_cast<ULONG>(static_cast<unsigned char>(text[3])) << 24;
}
std::string TagText(ULONG tag);

inline constexpr std::uint8_t kPoisonAllocated = 0xCD;
inline constexpr std::uint8_t kPoisonFreed = 0xDD;

struct PoolUsage {
  std::size_t blocks = 0;
  std::size_t bytes = 0;
  friend bool operator==(const PoolUsage&, const PoolUsage&) = default;
};

// What an observer sees of every allocation attempt and every free.
struct PoolEvent {
  enum class Kind { Allocate, Free } kind;
  POOL_TYPE type;
  SIZE_T bytes;
  ULONG tag;
  bool failed;  // an allocation refused by fault injection
};

// Checks a pool's owner makes on every call (a machine checks the caller's
// interrupt level and what the freed block still holds); fatal on misuse.
class PoolGuard {
 public:
  virtual ~PoolGuard() = default;
  virtual void CheckAllocate(POOL_TYPE type) = 0;
  virtual void CheckFree(const void* block, SIZE_T bytes, POOL_TYPE type) = 0;
};

class Pool {
 public:
  explicit Pool(std::string name = "pool");
  ~Pool();
  Pool(const Pool&) = delete;
  Pool& operator=(const Pool&) = delete;

  // Null on failure, as the kernel does. Contents are poisoned, not zeroed.
  void* Allocate(POOL_TYPE type, SIZE_T bytes, ULONG tag);
  // Fatal on a double free or a pointer this pool did not hand out.
  void Free(void* block);

  PoolUsage Live() const;
  PoolUsage LiveByTag(ULONG tag) const;
  PoolUsage LiveByType(POOL_TYPE type) const;
  std::uint64_t AllocationAttempts() const;
  // One line per live block, oldest first; empty when nothing is live.
  std::string LeakReport() const;

  // Fault injection. Each applies until cleared, except the n-th attempt.
  void FailNthAllocation(std::uint64_t n);  // n-th attempt from now (1 = next)
  void FailTag(ULONG tag);
  void FailAbove(SIZE_T bytes);
  void ClearFaults();

  void SetObserver(std::function<void(const PoolEvent&)> observer);
  void SetGuard(PoolGuard* guard) { guard_ = guard; }
  const std::string& name() const { return name_; }

 private:
  struct Block {
    std::uint64_t sequence;
    POOL_TYPE type;
    SIZE_T bytes;
    ULONG tag;
  };
  struct Quarantined {
    std::uintptr_t address;
    Block block;
  };

  bool ShouldFail(SIZE_T bytes, ULONG tag);
  void Release(std::uintptr_t address, SIZE_T bytes);
  void Quarantine(std::uintptr_t address, const Block& block);
  std::string Describe(const Block& block) const;
  template <typename Predicate>
  PoolUsage Sum(Predicate wanted) const;

  const std::string name_;
  mutable std::mutex mutex_;
  std::map<std::uintptr_t, Block> live_;  // by address: lookups only, never iterated for order
  std::deque<Quarantined> quarantine_;    // freed blocks, kept poisoned for a while
  std::map<std::uintptr_t, Block> quarantined_;
  std::size_t quarantine_bytes_ = 0;
  std::uint64_t attempts_ = 0;
  std::uint64_t fail_at_attempt_ = 0;
  std::optional<ULONG> fail_tag_;
  std::optional<SIZE_T> fail_above_;
  std::function<void(const PoolEvent&)> observer_;
  PoolGuard* guard_ = nullptr;
};

}  // namespace plat::ex
