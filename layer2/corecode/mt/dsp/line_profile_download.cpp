#include "layer2/corecode/mt/dsp/line_profile_download.h"

#include <algorithm>
#include <vector>

#include "layer2/corecode/mt/dsp/dsp_link.h"
#include "layer2/corecode/mt/dsp/dsp_transport.h"
#include "layer2/corecode/mt/dsp/line_profile_store.h"
#include "pump/packets/dp_packets.h"

namespace vxctl {
namespace {

constexpr std::uint8_t kBuiltinOverlayTable[] = {kImageTableEnd};
constexpr std::size_t kMemoryPieceBytes = 12;
constexpr std::size_t kParameterPieceBytes = 14;

constexpr std::uint8_t kRegDownloadLow = 248;
constexpr std::uint8_t kRegDownloadHigh = 249;
constexpr std::uint8_t kRegDownloadData = 250;
constexpr std::uint8_t kRegDownloadEnd = 66;
constexpr std::uint8_t kRegPower = 252;

// The record's data in writes to the memory or the parameter store.
bool SendRecord(std::uint8_t attribute, std::uint16_t address, std::span<const std::uint8_t> data) {
  const bool memory = (attribute & 1) != 0;
  const std::size_t piece = memory ? kMemoryPieceBytes : kParameterPieceBytes;
  for (std::size_t at = 0; at < data.size(); at += piece) {
    const std::span<const std::uint8_t> part = data.subspan(at, std::min(piece, data.size() - at));
    std::vector<std::uint8_t> payload = {static_cast<std::uint8_t>(address),
                                         static_cast<std::uint8_t>(address >> 8)};
    if (memory)
      payload.insert(payload.end(), {static_cast<std::uint8_t>((attribute & 0x0E) * 16), 0});
    payload.insert(payload.end(), part.begin(), part.end());
    const std::uint8_t code = memory                    ? pump::kCpMemoryWrite
                              : (attribute & 0x0E) != 0 ? pump::kCpParamWriteHigh
                                                        : pump::kCpParamWrite;
    if (dsp_packet_transport(DspCommand::NoWait(code, payload)) != kDspSent) return false;
    address = static_cast<std::uint16_t>(address + part.size() / 2);
  }
  return true;
}

}  // namespace

void dsp_download_begin() { dsp_reg_write(kRegPower, 10); }

void dsp_code_download(std::span<const std::uint8_t> data, std::uint16_t address,
                       std::uint16_t bytes, std::uint8_t step) {
  dsp_reg_write(kRegDownloadHigh, static_cast<std::uint8_t>(address >> 8));
  dsp_reg_write(kRegDownloadLow, static_cast<std::uint8_t>(address));
  const std::size_t stride = std::max<std::size_t>(step, 1);
  for (std::size_t i = 0; i < bytes && i * stride < data.size(); ++i) {
    dsp_reg_write(kRegDownloadData, data[i * stride]);
  }
}

void dsp_download_end() {
  dsp_reg_write(kRegDownloadEnd, 1);
  dsp_reg_write(kRegPower, 9);
}

bool dsp_download(std::uint8_t kind, std::uint8_t id, std::uint16_t address,
                  std::uint8_t attribute) {
  const bool builtin = kind == kDownloadOverlay || kind == kDownloadCode;
  LineProfileStore& store = line_profile_store();
  const std::span<const std::uint8_t> table =
      builtin ? std::span<const std::uint8_t>(kBuiltinOverlayTable)
              : std::span<const std::uint8_t>(store.bytes);
  const std::uint8_t step = builtin ? 1 : store.step;
  if (kind == kDownloadCode) dsp_download_begin();

  std::size_t at = 0;
  ImageRecord record;
  while (next_image_record(table, &at, &record)) {
    if (record.id != id) continue;
    if (kind != kDownloadAt) {
      attribute = record.attribute;
      address = record.address;
    }
    if (kind == kDownloadCode) {
      dsp_code_download(record.data, address, static_cast<std::uint16_t>(record.data.size()), step);
    } else if (!SendRecord(attribute, address, record.data)) {
      return false;
    }
  }

  if (kind == kDownloadCode) {
    dsp_download_end();
    dsp_stub_zero();
  }
  return dsp_packet_transport(DspCommand::Ack(kCmdOverlayDownloadDone, {id, kind})) == kDspSent;
}

}  // namespace vxctl
