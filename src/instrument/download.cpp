#include "instrument/download.hpp"

#include <strings.h>

#include <array>

#include "instrument/io.hpp"
#include "instrument/transport.hpp"
#include "runtime/text.hpp"

namespace kelvane::instrument {

double serialDownloadMinutes(std::size_t samples, double baudrate) {
  return static_cast<double>(samples) * 32 * 1.125 / baudrate / 60;
}

Status VelDownLoadWrap(std::span<const std::complex<double>> IQData,
                       std::span<const std::uint8_t> Marker, const std::string& Filename,
                       const Configuration& config, toolkit::Dialogs& dialogs,
                       std::optional<double> peak) {
  if (::strcasecmp(config.type.c_str(), "rs232") == 0) {
    const double time = serialDownloadMinutes(IQData.size(), config.RS232.baudrate);
    std::string button = "OK";
    if (time > 0.75) {
      const std::array<runtime::FormatArg, 1> args = {time};
      button = dialogs.question(
          runtime::sprintfText(
              "This Download will take approximately %g minutes. Do you want to continue?", args),
          "RS-232 Download", {"OK", "Cancel"}, "Cancel");
    }
    // A cancelled download is a failure to its callers: nothing was stored.
    if (button != "OK") return {status::kCancelled, "download cancelled"};
  }

  const Status arb = hwQuery(config, ":SOUR:RAD:ARB:STATe?");
  const std::string arb_state = arb.ok() ? arb.message : std::string();
  hwSend(config, ":SOUR:RAD:ARB:STATe OFF");
  Status result = hwDownload(config, IQData, Marker, Filename, peak);
  if (runtime::parseNumber(arb_state) == 1.0) hwSend(config, ":SOUR:RAD:ARB:STATe ON");
  return result;
}

}  // namespace kelvane::instrument
