// The link protocols' data-channel handlers (DataModes 0, 4 and 10) and
// the asynchronous transmit frame, apart from the other stand-ins: only a
// program that runs the data-channel poll pulls this file in, and that
// program has the mailbox access already.
#include "controller/standin/link_protocols_standin.h"

#include "layer2/corecode/mt/dsp/mailbox.h"
#include "layer2/corecode/mt/machine_state.h"
#include "layer2/corecode/mt/services/link_protocols.h"

namespace vxctl {

namespace {
LinkProtocolsStandin& lp() { return MachineState<LinkProtocolsStandin>(); }

// Takes the transmit block and gives it back with nothing to send.
void SendNothing(StandinHandlerCalls& calls) {
  if (mbox_tx_open() != kMboxOpen) return;
  mbox_tx_commit(kMboxNothingToSend, 0);
  calls.tx_blocks.fetch_add(1);
}

// Takes the receive block and releases it unread.
void ReleaseUnread(StandinHandlerCalls& calls) {
  std::uint8_t status = 0, count = 0;
  if (mbox_rx_open(status, count) != kMboxOpen) return;
  mbox_rx_release();
  calls.last_rx_status = status;
  calls.rx_blocks.fetch_add(1);
}
}  // namespace

void async_tx() { SendNothing(lp().async_handler); }
void async_rx() { ReleaseUnread(lp().async_handler); }
void v80_tx() { SendNothing(lp().v80_handler); }
void v80_rx() { ReleaseUnread(lp().v80_handler); }
void v42det_tx() { SendNothing(lp().v42det_handler); }
void v42det_rx() { ReleaseUnread(lp().v42det_handler); }
void async_set_tx_frame(std::uint8_t* frame) {
  lp().async_tx_frame = frame;
  lp().async_tx_frames.fetch_add(1);
}

}  // namespace vxctl
