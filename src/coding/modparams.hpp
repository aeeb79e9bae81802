// The packet format of one DRC value: data rate, slots, payload size, code rate, modulation and
// the chip budget of each time-division-multiplexed part of the packet.
#pragma once

#include <array>
#include <cstddef>
#include <optional>

namespace kelvane::coding {

// The data modulation of a packet format; the numbers are those the modParams record holds.
enum class Modulation { Qpsk = 1, Psk8 = 2, Qam16 = 3 };

// Fields in their record order.
struct ModParams {
  int drcValue;
  double dataRate;  // kbit/s
  int slots;        // 2048-chip slots
  int bits;         // physical layer packet size
  double codeRate;  // 0.2 or the double nearest to 1/3
  Modulation modulationType;
  int preambleTDMChips;
  int pilotTDMChips;
  int macTDMChips;
  int dataTDMChips;
  int modulationSymbolsProvided;
  int modulationSymbolsRequired;
  bool operator==(const ModParams&) const = default;
};

// The IS-856 forward traffic and control channel formats of DRC 1 to 12, one row a DRC value in
// DRC order (12 rows x the 12 fields of ModParams).
inline constexpr std::array<ModParams, 12> FwdTrfChnModParamsTable{{
    {1, 38.4, 16, 1024, 0.2, Modulation::Qpsk, 1024, 3072, 4096, 24576, 2560, 24576},
    {2, 76.8, 8, 1024, 0.2, Modulation::Qpsk, 512, 1536, 2048, 12288, 2560, 12288},
    {3, 153.6, 4, 1024, 0.2, Modulation::Qpsk, 256, 768, 1024, 6144, 2560, 6144},
    {4, 307.2, 2, 1024, 0.2, Modulation::Qpsk, 128, 384, 512, 3072, 2560, 3072},
    {5, 307.2, 4, 2048, 1.0 / 3, Modulation::Qpsk, 128, 768, 1024, 6272, 3072, 6272},
    {6, 614.4, 1, 1024, 1.0 / 3, Modulation::Qpsk, 64, 192, 256, 1536, 1536, 1536},
    {7, 614.4, 2, 2048, 1.0 / 3, Modulation::Qpsk, 64, 384, 512, 3136, 3072, 3136},
    {8, 921.6, 2, 3072, 1.0 / 3, Modulation::Psk8, 64, 384, 512, 3136, 3072, 3136},
    {9, 1228.8, 1, 2048, 1.0 / 3, Modulation::Qpsk, 64, 192, 256, 1536, 3072, 1536},
    {10, 1228.8, 2, 4096, 1.0 / 3, Modulation::Qam16, 64, 384, 512, 3136, 3072, 3136},
    {11, 1843.2, 1, 3072, 1.0 / 3, Modulation::Psk8, 64, 192, 256, 1536, 3072, 1536},
    {12, 2457.6, 1, 4096, 1.0 / 3, Modulation::Qam16, 64, 192, 256, 1536, 3072, 1536},
}};
static_assert(
    [] {
      for (std::size_t i = 0; i < FwdTrfChnModParamsTable.size(); ++i)
        if (FwdTrfChnModParamsTable[i].drcValue != static_cast<int>(i + 1)) return false;
      return true;
    }(),
    "one row for each DRC value 1..12, in order");

// The format of `drcValue` (1 to 12, exact numeric match); no format for any other value
// (0, 13 to 15, 4.5), which the by-name entry reports as a record holding only drcValue.
std::optional<ModParams> Qarn_FwdTrfChnModParams(double drcValue);

// The format of `drcValue`, or coding::Error naming the value when it has none.
ModParams modParamsFor(double drcValue);

}  // namespace kelvane::coding
