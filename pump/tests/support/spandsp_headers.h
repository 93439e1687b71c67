// spandsp's headers that the data pump's tests and benchmarks use, in the
// order they need each other.
#pragma once

#include <spandsp/telephony.h>
#include <spandsp/logging.h>
#include <spandsp/super_tone_rx.h>
#include <spandsp/tone_generate.h>
#include <spandsp/dtmf.h>
#include <spandsp/modem_connect_tones.h>
#include <spandsp/async.h>
#include <spandsp/hdlc.h>
#include <spandsp/crc.h>
