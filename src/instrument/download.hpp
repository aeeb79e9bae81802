// Waveform download: stores one computed waveform under a name in the signal generator's ARB
// memory, with the ARB stopped while the memory is written.
#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "instrument/records.hpp"
#include "toolkit/dialogs.hpp"

namespace kelvane::instrument {

// Over RS-232, a download estimated above 0.75 minutes (samples x 32 x 1.125 / baud / 60) asks
// the operator first through `dialogs`; anything but "OK" cancels it, returning status
// kCancelled and "download cancelled" with nothing sent. Otherwise queries the ARB state,
// switches the ARB off, downloads (hwDownload, "norm" scaling) and switches the ARB on again
// only when the query answered 1. Returns the download's status and message.
//   IQData    baseband samples of the synthesis, any length
//   Marker    one byte a sample, bit 0 marker 1, bit 1 marker 2
//   Filename  the waveform name in ARB memory, e.g. "Traffic"
//   dialogs   where the RS-232 time question is asked
//   peak      the largest |I| or |Q| of IQData when known and finite (see hwDownload)
// Example: VelDownLoadWrap(w.samples, w.markers, "Traffic", configuration, flow.dialogs).
Status VelDownLoadWrap(std::span<const std::complex<double>> IQData,
                       std::span<const std::uint8_t> Marker, const std::string& Filename,
                       const Configuration& config, toolkit::Dialogs& dialogs,
                       std::optional<double> peak = std::nullopt);

// The estimated RS-232 download time in minutes.
double serialDownloadMinutes(std::size_t samples, double baudrate);

}  // namespace kelvane::instrument
