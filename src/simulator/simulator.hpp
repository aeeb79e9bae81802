// A software signal generator that speaks the instrument's wire protocol (SCPI over TCP on
// loopback, optionally over a pseudo-terminal), for tests, the demo and operators' dry runs.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::simulator {

struct SimulatorOptions {
  std::uint16_t port = 0;                 // 0 picks a free port
  std::size_t memorySamples = 32u << 20;  // ARB memory: 8 or 32 Msamples (any count for tests)
  bool pseudoTerminal = false;            // also serve a pty (the serial path)
  // Called with every message received (block bytes left out, as in state()["commands"]), on
  // the receiving connection's thread. Empty: no call.
  std::function<void(const std::string&)> onMessage;
};

// Faults to inject; each is off when unset.
struct Faults {
  std::optional<std::size_t> dropAfterBlockBytes;  // close the connection after N bytes of a block
  std::size_t dropLimit = 0;  // connections dropped before the drop fault clears; 0: no limit
  std::chrono::milliseconds replyDelay{0};  // delay every reply
  std::string failPattern;  // a message containing this text (any case) fails with failError
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
  // Closes every connection and joins the threads; the stored state stays readable.
  void stop();
  std::uint16_t port() const;
  std::string pseudoTerminalPath() const;  // the slave device, when enabled

  void setFaults(Faults faults);
  Faults faults() const;

  // The whole state, as documented in the simulator's README: memory, files ("WFM1" and "MKR1"
  // by name with sample counts and CRC-32), sequences, selected waveform, settings, ARB/RF/
  // modulation states, error queue, every message received in order, connections and faults.
  nlohmann::json state() const;

  // A stored waveform's words I1 Q1 I2 Q2 ... as received (big-endian on the wire), or nothing
  // when no WFM1 file has that name.
  std::optional<std::vector<std::int16_t>> waveformWords(const std::string& name) const;
  // A stored marker file's bytes, one a sample (bit 0 marker 1, bit 1 marker 2).
  std::optional<std::vector<std::uint8_t>> markerBytes(const std::string& name) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kelvane::simulator
