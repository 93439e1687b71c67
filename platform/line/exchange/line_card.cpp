#include "platform/line/exchange/line_card.h"

#include <algorithm>

#include "platform/diag/fatal.h"
#include "platform/line/exchange/exchange.h"

namespace plat::line::exchange {

LineCard::LineCard(Exchange& exchange, Line& line) : exchange_(exchange), line_(line) {
  line_.Attach(Side::kB, *this);
}

void LineCard::ProduceUntil(std::int64_t count) { exchange_.ProduceUntil(count); }

void LineCard::TakeHeard(std::int64_t from, std::span<std::int16_t> out) {
  const std::int64_t end = from + static_cast<std::int64_t>(out.size());
  if (end > heard_.end()) {
    diag::Fatal("exchange-causality", "the switch needs line samples up to " +
                                          std::to_string(end) + ", the line delivered " +
                                          std::to_string(heard_.end()));
  }
  std::copy_n(heard_.At(from), out.size(), out.begin());
  heard_.DropBefore(from);
}

}  // namespace plat::line::exchange
