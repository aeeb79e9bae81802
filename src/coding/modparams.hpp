// The packet format of one DRC value: data rate, slots, payload size, code rate, modulation and
// the chip budget of each time-division-multiplexed part of the packet.
#pragma once

#include <optional>

namespace kelvane::coding {

inline constexpr int MOD_QPSK = 1;
inline constexpr int MOD_8PSK = 2;
inline constexpr int MOD_16QAM = 3;

// Fields in their record order; every field is a double, as the record holds them.
struct ModParams {
  double drcValue;
  double dataRate;        // kbit/s
  double slots;           // 2048-chip slots
  double bits;            // physical layer packet size
  double codeRate;        // 0.2 or the double nearest to 1/3
  double modulationType;  // MOD_QPSK, MOD_8PSK or MOD_16QAM
  double preambleTDMChips;
  double pilotTDMChips;
  double macTDMChips;
  double dataTDMChips;
  double modulationSymbolsProvided;
  double modulationSymbolsRequired;
  bool operator==(const ModParams&) const = default;
};

// The format of `drcValue` (1 to 12, exact numeric match); no format for any other value
// (0, 13 to 15, 4.5), which the by-name entry reports as a record holding only drcValue.
std::optional<ModParams> Qarn_FwdTrfChnModParams(double drcValue);

// The format of `drcValue`, or coding::Error naming the value when it has none.
ModParams modParamsFor(double drcValue);

}  // namespace kelvane::coding
