#include "pump/v32/connection_states.h"

#include <array>

namespace pump::v32 {
namespace {

constexpr std::array<std::string_view, 15> kCallerTx = {
    "TXO_WAIT",   "TXO_AA",     "TXO_CC",    "TXO_SILENCE", "TXO_S0",
    "TXO_Sbar0",  "TXO_TRN2_0", "TXO_TRN4_0", "TXO_RATE2",  "TX_ON_LINE",
    "TXO_RR_AA",  "TXO_RR_CC",  "TX_RATE_SEQUENCE", "TX_RATE_E", "TX_CLEAR_DOWN"};
constexpr std::array<std::string_view, 20> kAnswererTx = {
    "TXA_SILENCE0", "TXA_AC1",    "TXA_CA",     "TXA_AC2",    "TXA_SILENCE1",
    "TXA_S0",       "TXA_Sbar0",  "TXA_TRN2_0", "TXA_TRN4_0", "TXA_RATE1",
    "TXA_SILENCE2", "TXA_S1",     "TXA_Sbar1",  "TXA_TRN2_1", "TXA_TRN4_1",
    "TXA_ON_LINE",  "TXA_RT_AC",  "TXA_RR_AC",  "TXA_RR_CA",  "TX_V32_IDLE"};
constexpr std::array<std::string_view, 23> kCallerRx = {
    "DETECTO_PN2330", "DETECTO_AC1",    "DETECTO_CA",       "DETECTO_AC2",    "DETECTO_AC_OFF",
    "DETECTO_S0",     "DETECTO_Sbar0",  "RXO_WAIT_TRN_0",   "RXO_TRN2_0",     "RXO_TRN4_0",
    "RXO_TRAIN_DATA0", "DETECTO_RATE1", "RXO_WAIT1",        "DETECTO_S1",     "DETECTO_Sbar1",
    "RXO_WAIT_TRN_1", "RXO_TRN2_1",     "RXO_TRN4_1",       "RXO_TRAIN_DATA1", "DETECT_RATE_SEQUENCE",
    "DETECT_RATE_E",  "RXO_ON_LINE",    "RX_V32_IDLE"};
constexpr std::array<std::string_view, 13> kAnswererRx = {
    "DETECTA_AA0",    "DETECTA_AA1",   "DETECTA_CC",  "DETECTA_SILENCE", "RXA_WAIT1",
    "DETECTA_S0",     "DETECTA_S0_1",  "DETECTA_Sbar0", "RXA_WAIT_TRN_0", "RXA_TRN2_0",
    "RXA_TRN4_0",     "RXA_TRAIN_DATA", "RXA_ON_LINE"};

constexpr int kAnswererBase = 32;

template <std::size_t N, std::size_t M>
std::string_view NameOf(int n, const std::array<std::string_view, N>& caller,
                        const std::array<std::string_view, M>& answerer) {
  if (n >= 0 && n < static_cast<int>(N)) return caller[static_cast<std::size_t>(n)];
  const int a = n - kAnswererBase;
  if (a >= 0 && a < static_cast<int>(M)) return answerer[static_cast<std::size_t>(a)];
  return "?";
}

}  // namespace

std::string_view TxStateName(TxState state) {
  return NameOf(static_cast<int>(state), kCallerTx, kAnswererTx);
}

std::string_view RxStateName(RxState state) {
  return NameOf(static_cast<int>(state), kCallerRx, kAnswererRx);
}

}  // namespace pump::v32
