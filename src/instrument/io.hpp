// The instrument I/O operations: one per transport opcode plus the connection check, and
// `formatconfig`, which gives the transport its configuration with 32-bit integer addresses.
#pragma once

#include <complex>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "instrument/records.hpp"
#include "runtime/value.hpp"

namespace kelvane::instrument {

// A copy of `configIn` in which GPIB.board, GPIB.primary, GPIB.secondary, RS232.port,
// RS232.baudrate and TCPIP.board, each only where present and numeric, are 32-bit signed
// integers (rounded half away from zero, saturated); every other field passes through.
// Raises runtime::Error when `configIn` is not a record.
runtime::Value formatconfig(const runtime::Value& configIn);

// The transport by name: hwIO(opcode, config, ...) with the further arguments of the opcode
// (2 and 3: the command text; 4: data, markers, "norm", 1, filename). Never raises: a bad
// argument is a non-zero status with its message.
Status hwIO(std::span<const runtime::Value> args);

// The typed operations. Each returns the transport's status and message unchanged.
Status hwPing(const Configuration& config);
Status hwSend(const Configuration& config, std::string_view command);
Status hwQuery(const Configuration& config, std::string_view query);  // message = the reply
// `markers`: one byte a sample, bit 0 marker 1, bit 1 marker 2 (synthesis::Waveform::markers).
// `peak`: the largest |I| or |Q| of the samples when the caller already knows it (the synthesis
// gathers it as it computes them) and knows them finite, which saves a pass over the samples;
// without it the samples are searched.
Status hwDownload(const Configuration& config, std::span<const std::complex<double>> data,
                  std::span<const std::uint8_t> markers, std::string_view filename,
                  std::optional<double> peak = std::nullopt);
Status hwReturnLocal(const Configuration& config);
// The connection check of the I/O dialog: hwPing; the message is its description.
Status VerifyComm(const Configuration& config);

// The by-name marker form, a 2 x N matrix of 0/1 (row 1 marker 1, row 2 marker 2), packed one
// byte a sample; any non-zero element counts as 1. Raises runtime::Error for another shape.
std::vector<std::uint8_t> packMarkers(const runtime::Value& markers, std::size_t samples);
// The packed form back to the 2 x N matrix.
runtime::Value unpackMarkers(std::span<const std::uint8_t> markers);

}  // namespace kelvane::instrument
