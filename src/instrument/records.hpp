// The instrument records: the I/O configuration, the signal generator settings applied at play
// time, sequence elements, and the status pair every instrument operation returns.
#pragma once

#include <optional>
#include <string>

namespace kelvane::instrument {

// The two baseband generator memory codes of `BBGtype`.
inline constexpr const char* kBbg8Msamples = "008";
inline constexpr const char* kBbg32Msamples = "032";

// How the signal generator is reached; fields in their record order.
struct Configuration {
  std::string type = "GPIB";  // "GPIB", "RS232" or "TCPIP", compared without regard to case
  struct Gpib {
    double board = 0;       // 0..15
    double primary = 19;    // 0..30
    double secondary = -1;  // -1 (none) .. 31
  } GPIB;
  struct Rs232 {
    double port = 1;  // 1..9
    double baudrate = 9600;
    std::string handshake = "Xon/Xoff";
    // A device path ("/dev/ttyUSB0") that stands in for the port number; empty: by number.
    // Stored in the record only when set.
    std::string device;
  } RS232;
  struct Tcpip {
    std::string address = "0.0.0.0";  // host name or dotted address, optional ":port"
    double board = 0;
  } TCPIP;
  std::string BBGtype = kBbg32Msamples;
  std::string LastParameterFilename;
};

// Settings applied when a waveform or sequence is played; fields in their record order.
// ReconFilter is read only by VelPlay and is not part of the application's record.
struct SigGenSettings {
  std::string Title = "ASDF-UNUSED";
  double Frequency = 1955000000;  // Hz
  double Amplitude = -30;         // dBm
  double SamplingRate = 6144000;  // Hz
  double BBfilter = 1;
  double Scaling = 95;
  double ModAtten = 0;
  double RFblanking = 0;
  double ALC = 0;
  double ArbRefSource = 0;
  double MarkerPolarity = 0;
  std::optional<double> ReconFilter;
};

struct SequenceElement {
  std::string waveformName;
  double repetitions = 1;
  double marker1 = 1;
  double marker2 = 1;
};

// 0 is success; any other code a failure whose message is fit for an error box.
struct Status {
  int code = 0;
  std::string message;
  bool ok() const { return code == 0; }
};

}  // namespace kelvane::instrument
