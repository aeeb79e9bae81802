#include "coding/modparams.hpp"

#include <sstream>

#include "coding/error.hpp"

namespace kelvane::coding {

std::optional<ModParams> Qarn_FwdTrfChnModParams(double drcValue) {
  // Exact numeric match on the key: 4.0 selects DRC 4, 4.5 and the null rate 0 select nothing.
  for (const ModParams& row : FwdTrfChnModParamsTable)
    if (static_cast<double>(row.drcValue) == drcValue) return row;
  return std::nullopt;
}

ModParams modParamsFor(double drcValue) {
  if (auto format = Qarn_FwdTrfChnModParams(drcValue)) return *format;
  std::ostringstream text;
  text << "drcValue " << drcValue << " has no packet format (DRC values are 1 to 12)";
  fail(text.str());
}

}  // namespace kelvane::coding
