// The simulated signal generator itself: ARB memory with its WFM1 and MKR1 files, sequences,
// the selected waveform, RF and baseband settings, states and the SCPI error queue, and the
// interpreter that carries out one received message. Shared by every connection; thread-safe.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "simulator/message_reader.hpp"
#include "simulator/scpi.hpp"
#include "simulator/simulator.hpp"

namespace kelvane::simulator {

class Instrument {
 public:
  explicit Instrument(std::size_t memorySamples,
                      std::function<void(const std::string&)> observer = {});

  // Carries out one message (commands separated by ';'); returns the reply line with its line
  // feed, or an empty text when the message asked nothing or every query in it failed.
  std::string execute(Message&& message);

  nlohmann::json state() const;

  void setFaults(Faults faults);
  Faults faults() const;
  // Bytes of a block after which the connection is cut, while that fault is active.
  std::optional<std::uint64_t> cutAfter() const;
  void noteCut();
  void noteConnectionOpened();
  void noteConnectionClosed();
  std::chrono::milliseconds replyDelay() const;
  // The memory in bytes (4 a waveform sample), and so the longest block worth keeping.
  std::uint64_t keepLimit() const { return 4ull * capacity_; }

  std::optional<std::vector<std::int16_t>> waveformWords(const std::string& name) const;
  std::optional<std::vector<std::uint8_t>> markerBytes(const std::string& name) const;

 private:
  // What a command's handler gets: its parameters; a query sets the reply.
  struct Call {
    const std::vector<Param>& params;
    std::string reply;
  };
  using Handler = void (*)(Instrument&, Call&);
  struct Command {
    HeaderPattern header;
    Handler set;              // null: query only
    Handler query;            // null: command only
    bool diagnostic = false;  // error and state queries: never failed by the fail fault
  };
  static const std::vector<Command>& commands();
  static void add(std::vector<Command>& t, const char* header, Handler set, Handler query,
                  bool diagnostic = false);
  static void addArbSelectionCommands(std::vector<Command>& t);
  static void addArbSequenceCommands(std::vector<Command>& t);
  static void addArbClockCommands(std::vector<Command>& t);
  static void addArbMarkersCommands(std::vector<Command>& t);
  static void addRfCommands(std::vector<Command>& t);
  static void addBasebandCommands(std::vector<Command>& t);
  static void addMemoryCommands(std::vector<Command>& t);

  struct Settings {
    double frequencyHz = 1e9;
    double powerDbm = -136;
    double sampleClockHz = 100e6;
    std::string basebandFilter = "Through";
    double runtimeScaling = 100;
    double iqAttenuationDb = 0;
    bool iqAttenuationAuto = true;
    bool alc = true;
    bool rfBlanking = false;
    bool markerPolarityNegative = false;
    bool clockReferenceExternal = false;
    std::string reconstructionFilter = "Through";
  };
  struct States {
    bool arb = false;
    bool rfOutput = false;
    bool modulation = false;
  };
  struct File {
    Bytes bytes;
    std::uint32_t crc = 0;
    std::size_t samples = 0;
    long peak = 0;            // WFM1: largest |word|
    std::size_t marker1 = 0;  // MKR1: samples with marker 1 set
    std::size_t marker2 = 0;
  };
  struct Element {
    std::string waveform;
    long repetitions = 1;
    long marker1 = 0;
    long marker2 = 0;
  };
  struct Selection {
    bool sequence = false;
    std::string name;
  };

  mutable std::mutex mutex_;
  std::function<void(const std::string&)> observer_;
  std::size_t capacity_;
  std::map<std::string, File> waveforms_;
  std::map<std::string, File> markers_;
  std::map<std::string, std::vector<Element>> sequences_;
  std::optional<Selection> selected_;
  Settings settings_;
  States states_;
  std::deque<std::string> errors_;
  std::deque<std::string> commands_;
  std::size_t commandsBytes_ = 0;  // the bytes of the entries in commands_
  std::uint64_t commandsDropped_ = 0;
  Faults faults_;
  std::size_t cuts_ = 0;  // drops since the faults were set
  std::uint64_t accepted_ = 0;
  std::uint64_t open_ = 0;
  std::uint64_t dropped_ = 0;

  // IEEE 488.2 status: the standard event status register and its enable, the service request
  // enable. The error queue's "not empty" is the status byte's bit 2, as SCPI has it.
  static constexpr std::uint8_t kOperationCompleteBit = 0x01;
  static constexpr std::uint8_t kQueryErrorBit = 0x04;
  static constexpr std::uint8_t kDeviceErrorBit = 0x08;
  static constexpr std::uint8_t kExecutionErrorBit = 0x10;
  static constexpr std::uint8_t kCommandErrorBit = 0x20;
  static constexpr std::uint8_t kPowerOnBit = 0x80;
  static constexpr std::uint8_t kErrorAvailableBit = 0x04;
  static constexpr std::uint8_t kEventSummaryBit = 0x20;
  static constexpr std::uint8_t kServiceRequestBit = 0x40;
  std::uint8_t esr_ = kPowerOnBit;
  std::uint8_t ese_ = 0;
  std::uint8_t sre_ = 0;

  using CommonHandler =
      std::function<void(Instrument&, const std::vector<Param>&, std::vector<std::string>&)>;
  static const std::map<std::string, CommonHandler>& commonCommands();
  static std::uint8_t eventBit(int code);
  std::uint8_t statusByte() const;
  std::string memoryOption() const;

  void push(int code);
  void pushEntry(std::string entry);
  void log(std::string_view text);
  std::uint64_t usedBytes() const;  // of waveform and marker files
  std::size_t usedSamples() const;  // usedBytes in waveform samples of 4 bytes, rounded up
  nlohmann::json stateLocked() const;
  nlohmann::json filesState() const;
  nlohmann::json sequencesState() const;
  nlohmann::json settingsState() const;
  nlohmann::json faultsState() const;
  void runUnit(std::string_view unit, std::size_t base, Message& m,
               std::vector<std::string>& prefix, bool first, bool failing,
               std::vector<std::string>& replies);
  void common(std::string_view header, const std::vector<Param>& params,
              std::vector<std::string>& replies);
  void store(const std::string& target, Block& block);
};

// Bytes outside printable ASCII written as \xHH, so that any text received is valid JSON.
std::string printable(std::string_view text);

}  // namespace kelvane::simulator
