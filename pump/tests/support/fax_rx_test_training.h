// A test-only training table for the fax receive machine, standing in for
// the receiver's own training: the test knows at which received symbol
// the conditioning segment's reference starts, so the table lets the gain
// settle until then, trains the equaliser on the known conditioning
// points with fixed loop gains (V.17 then follows the bridge by its nearest
// training point), and then decides data and delivers it to the framer as
// raw octets.
#pragma once

#include <cstdint>
#include <vector>

#include "pump/context/dsp_context.h"

namespace pump::testing {

struct FaxRxTestPlan {
  std::uint16_t mode_word;
  std::int32_t settle;        // received symbols before the first conditioning reference
  std::int32_t conditioning;  // symbols of conditioning
  std::int32_t bridge;        // V.17: symbols of the bridge, 0 otherwise
  bool jitter = false;        // the jitter predictor tracks and adapts in data
};

// The plan's symbol counts for a burst whose echo-protection tone starts at
// line sample `tone_start`, by the transmitter's segment lengths.
FaxRxTestPlan FaxRxPlanFor(std::uint16_t mode_word, std::int32_t tone_start);

class FaxRxTestTraining {
 public:
  explicit FaxRxTestTraining(const FaxRxTestPlan& plan);
  // The fax receive machine on the table, from its first entry.
  void Start(DspContext& context) const;
  StateTable<DspContext> Table() const { return entries_; }

 private:
  std::vector<StateEntry<DspContext>> entries_;
};

}  // namespace pump::testing
