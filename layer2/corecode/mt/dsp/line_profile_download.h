// Downloads an image table to the data pump when it asks: the line profile
// from the store (kinds 0x20 and 0x40), or code overlays from the built-in
// overlay table (kinds 0x50 and 0x60; the table holds only its end byte in
// this system). Every record is bounded by the table: the walk stops at a
// record that does not fit.
#pragma once

#include <cstdint>
#include <span>

namespace vxctl {

inline constexpr std::uint8_t kCmdOverlayDownloadDone = 0xA3;  // {id, kind}
inline constexpr std::uint8_t kDownloadLineProfile = 0x20;
inline constexpr std::uint8_t kDownloadAt = 0x40;  // the caller's address and attribute
inline constexpr std::uint8_t kDownloadOverlay = 0x50;
inline constexpr std::uint8_t kDownloadCode = 0x60;  // through registers 248-250

// The records of `id`: memory records in command-12 writes of up to 12
// data bytes, parameter records in command-13/14 writes of up to 14, the
// address advanced by the words sent; kind 0x60 through the download
// registers between dsp_download_begin and dsp_download_end. Then 0xA3
// {id, kind}. False when a write or the 0xA3 could not be sent.
bool dsp_download(std::uint8_t kind, std::uint8_t id, std::uint16_t address,
                  std::uint8_t attribute);
// Register 252 := 10.
void dsp_download_begin();
// Register 249 := address bits 8-15, 248 := bits 0-7, then each byte into
// register 250 (every `step`-th byte of `data`, `bytes` of them).
void dsp_code_download(std::span<const std::uint8_t> data, std::uint16_t address,
                       std::uint16_t bytes, std::uint8_t step);
// Register 66 := 1, register 252 := 9.
void dsp_download_end();

}  // namespace vxctl
