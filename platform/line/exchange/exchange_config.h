// What an exchange is built from: the country plan, the dial plan's routes
// that lead to no subscriber, the subscribers with their lines and options,
// and the date and time its caller-ID messages start from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/line/exchange/plan.h"
#include "platform/line/line.h"
#include "platform/line/scripted_peer.h"

namespace plat::line::exchange {

// Where a dialled number leads when it is no subscriber's.
enum class RouteKind : std::uint8_t {
  kBusy,        // busy tone
  kNoAnswer,    // ringback for ever
  kUnassigned,  // reorder
  kIntercept,   // special information tone, then reorder
};

// Numbers that begin with `prefix` and are `length` digits long in all.
struct Route {
  std::string prefix{};
  std::size_t length = 0;
  RouteKind kind = RouteKind::kUnassigned;
};

enum class CallerId : std::uint8_t {
  kNone,
  kClassSdmf,  // Bell 202 single data message, after the first ring
  kClassMdmf,  // Bell 202 multiple data message, after the first ring
  kClip,       // V.23 multiple data message, before or after the first ring
  kClipDtmf,   // DTMF digits A<number>C before the first ring
  kJclip,      // V.23 while off hook after the incoming-call ring, then ringing
};

enum class CallerIdTime : std::uint8_t { kAfterFirstRing, kBeforeFirstRing };

// The switch needs a millisecond of each subscriber's input before it can
// pass it on: the shortest core delay.
inline constexpr std::int64_t kMinCoreDelaySamples = 8;

struct SubscriberConfig {
  std::string number{};  // the directory number: digits, '*' and '#'
  std::string name{};    // the name the called party's caller ID shows (none: empty)
  // The subscriber's line: its side A is the subscriber's end (a machine, a
  // peer), its side B becomes the exchange's line card. It must outlive the
  // exchange's use.
  Line* line = nullptr;
  CallerId caller_id = CallerId::kNone;
  CallerIdTime caller_id_time = CallerIdTime::kAfterFirstRing;  // CLIP only
  bool call_waiting = false;
  bool call_waiting_caller_id = false;  // CAS, the set's acknowledgement, then FSK
  // A parallel set on the same line, played by a script; the exchange steps
  // it and mixes its audio in both ways. Its hook goes through
  // Exchange::ExtensionHookAction.
  ScriptedPeer* extension = nullptr;
  // What this subscriber says reaches the other party this many samples
  // later in the switch, through this loss.
  std::int64_t core_delay_samples = kMinCoreDelaySamples;
  double loss_pad_db = 0.0;
};

// The civil date and time the exchange's instant 0 stands for.
struct ClockStart {
  int year = 2001;
  unsigned month = 1;
  unsigned day = 1;
  unsigned hour = 0;
  unsigned minute = 0;
};

struct ExchangeConfig {
  CountryPlan plan = UsPlan();
  std::vector<Route> routes{};
  std::vector<SubscriberConfig> subscribers{};
  ClockStart clock{};
};

// Empty when the exchange can be built from `config`; otherwise the first
// fault found, named.
std::string CheckConfig(const ExchangeConfig& config);

}  // namespace plat::line::exchange
