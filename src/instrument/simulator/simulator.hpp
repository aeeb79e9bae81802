// A software signal generator that speaks the instrument's wire protocol (SCPI over TCP on
// loopback, optionally over a pseudo-terminal), for tests, the demo and operators' dry runs.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

namespace kelvane::instrument::sim {

struct SimulatorOptions {
  std::uint16_t port = 0;                      // 0 picks a free port
  std::size_t memorySamples = 32u << 20;       // ARB memory: 8 or 32 Msamples
  bool pseudoTerminal = false;                 // also serve a pty (the serial path)
};

// Faults to inject; each is off when unset.
struct Faults {
  std::optional<std::size_t> dropAfterBlockBytes;  // close the connection after N bytes of a block
  std::chrono::milliseconds replyDelay{0};         // delay every reply
  std::string failPattern;  // a command containing this text fails with failError
  std::string failError = "-222,\"Data out of range\"";
};

class Simulator {
 public:
  explicit Simulator(SimulatorOptions options = {});
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // Starts serving on 127.0.0.1 (and the pty) in background threads; throws on failure.
  void start();
  void stop();
  std::uint16_t port() const;
  std::string pseudoTerminalPath() const;  // the slave device, when enabled

  void setFaults(Faults faults);

  // The whole state: files (name, kind WFM1/MKR1, sample count, checksum), sequences, selected
  // waveform, settings (frequency, power, sample clock, ...), ARB/RF/modulation states, error
  // queue and every command received, in order.
  nlohmann::json state() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kelvane::instrument::sim
