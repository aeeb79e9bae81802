// The instrument transport `hwIO`: SCPI to the signal generator over LAN (TCP), RS-232 (termios)
// or GPIB (linux-gpib, loaded at run time), chosen by `configuration.type` without regard to
// case. The connection of the configuration in use is kept open and reused (a change of
// configuration closes it and opens the new one); a broken one is reopened on the next operation.
// Every wait is bounded, and every failure comes back as a non-zero status with a message fit for
// an error box; nothing here raises. One operation runs at a time: another one started meanwhile
// (from another thread, or from the progress reporter) returns kBusy at once.
//
// Environment:
//   KELVANE_RS232_PORT<n>  the device of serial port n (default /dev/ttyS<n-1>), e.g.
//                          KELVANE_RS232_PORT1=/dev/ttyUSB0
//   KELVANE_GPIB_LIBRARY   the linux-gpib user library to load (default libgpib.so.0)
#pragma once

#include <chrono>
#include <complex>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

#include "instrument/records.hpp"

namespace kelvane::instrument {

// Status codes of failed operations; callers only tell 0 from the rest.
namespace status {
inline constexpr int kOk = 0;
inline constexpr int kNoConnection = 1;     // the instrument could not be reached
inline constexpr int kTimeout = 2;          // it did not answer in time
inline constexpr int kConnectionLost = 3;   // the connection broke during the operation
inline constexpr int kInstrumentError = 4;  // the instrument reported errors (:SYST:ERR?)
inline constexpr int kRefused = 5;          // bad arguments; nothing was sent
inline constexpr int kUnavailable = 6;      // the bus library is not installed
inline constexpr int kCancelled = 7;        // the operator cancelled
inline constexpr int kBusy = 8;  // another operation holds the transport; nothing was sent
}  // namespace status

// Time-outs and sizes of the transport. Tests shorten the time-outs; nothing else needs to.
struct TransportSettings {
  std::chrono::milliseconds connectTimeout{5000};  // to reach the instrument, all attempts
  std::chrono::milliseconds replyTimeout{10000};   // for a reply, or for a write to progress
  int connectAttempts = 3;  // connection tries within connectTimeout (a resetting instrument)
  // The slowest rate a LAN or GPIB download may run at: each chunk of a block, and the final
  // *OPC?, may take replyTimeout plus its size at this rate. Serial ports use half their speed.
  double minimumBytesPerSecond = 100e3;
  std::size_t chunkBytes = 1 << 20;  // bytes of a block written (and reported) at once
  int maxErrorReads = 32;            // :SYST:ERR? queries after one command at most
  // An instrument that stayed silent past a time-out (no reply, a write that made no progress,
  // no connection) is remembered for silentMemory after the last such time-out. Meanwhile each
  // operation on it connects once and first asks *OPC? with silentTimeout; only when that is
  // answered does the operation go on, with the time-outs above. Any reply clears the memory.
  // So a flow of several operations against a dead instrument waits out replyTimeout once.
  std::chrono::milliseconds silentTimeout{2000};
  std::chrono::milliseconds silentMemory{60000};
};
TransportSettings transportSettings();
void setTransportSettings(const TransportSettings& settings);

// Download progress: called on the calling thread before the first byte of a waveform, after
// every chunk and after the last byte, with the bytes of both blocks (waveform and markers)
// sent so far. The window and the command-line tool set it. An instrument operation started from
// it (a click while the window repaints) is refused with kBusy; it may replace the reporter,
// change the settings (for later operations) or close the connections (the download in
// progress keeps its own until it ends).
struct DownloadProgress {
  std::string_view waveformName;
  std::uint64_t bytesSent = 0;
  std::uint64_t bytesTotal = 0;
};
using ProgressReporter = std::function<void(const DownloadProgress&)>;
// Installs `reporter` for the process (an empty one reports nothing); returns the previous one.
ProgressReporter setProgressReporter(ProgressReporter reporter);

// Asks the download in progress to stop before its next chunk (the progress box's Cancel). The
// download returns kCancelled with "download cancelled" and closes the connection, whose
// instrument holds a partial block. Safe from any thread; a request made while no download runs
// is forgotten when the next one starts.
void cancelDownload();

// Counters since the process started, for diagnostics.
struct TransportStatistics {
  std::uint64_t connectionsOpened = 0;
  std::uint64_t partialWrites = 0;  // writes the system accepted only in part (and resumed)
};
TransportStatistics transportStatistics();

// The device file of serial port `port` (1 to 99): KELVANE_RS232_PORT<port> when set, else
// /dev/ttyS<port - 1>. serialDevice(1) is "/dev/ttyS0".
std::string serialDevice(int port);

// Closes every open connection and forgets which instruments stayed silent (library terminate;
// tests).
void closeConnections();

// The five transport operations, by opcode.
namespace hwio {

enum class Opcode : std::int32_t { Ping = 1, Send = 2, Query = 3, Download = 4, ReturnLocal = 5 };

// Opens (or reuses) the connection and asks *IDN?; the message is "Connected to <reply>".
Status ping(const Configuration& config);
// Sends one SCPI command, then reads :SYST:ERR? until it answers 0; any error makes the status
// non-zero with the instrument's error texts, one a line. A command holding a line break is
// refused. Example: send(config, ":output:state on").
Status send(const Configuration& config, std::string_view command);
// Sends one query; the message is the reply without its line end.
Status query(const Configuration& config, std::string_view query);
// Stores a waveform under `name` in ARB memory ("norm" scaling): the I/Q words in
// :MMEM:DATA "WFM1:<name>",#<d><len><bytes>, then *OPC? and the error queue; then one marker
// byte a sample (bit 0 marker 1, bit 1 marker 2) in :MMEM:DATA "MKR1:<name>",..., then *OPC?
// and the error queue again. A block the instrument refuses ends the download with a message
// naming the waveform, the command and the instrument's errors, e.g.
//   The signal generator refused the waveform "Traffic" (:MMEM:DATA "WFM1:Traffic"):
//   -225,"Out of memory"
// (the marker block is not sent after a refused waveform block). `markers` holds one byte a
// sample. A name that is empty or holds a double quote or a control
// character, a sample that is not finite, or a marker count that differs from the sample count
// is refused before anything is sent.
Status download(const Configuration& config, std::span<const std::complex<double>> iq,
                std::span<const std::uint8_t> markers, std::string_view name);
// Front-panel control again: GPIB go-to-local; over LAN and RS-232 the session is closed, which
// ends the instrument's remote state and frees the port.
Status returnLocal(const Configuration& config);

}  // namespace hwio

}  // namespace kelvane::instrument
