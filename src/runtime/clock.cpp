#include "runtime/clock.hpp"

#include <chrono>
#include <ctime>

namespace kelvane::runtime {

std::array<double, 6> clockNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const auto sinceSecond =
      now - std::chrono::system_clock::from_time_t(t);  // the fraction of the current second
  const double fraction = std::chrono::duration<double>(sinceSecond).count();
  return {static_cast<double>(local.tm_year + 1900),
          static_cast<double>(local.tm_mon + 1),
          static_cast<double>(local.tm_mday),
          static_cast<double>(local.tm_hour),
          static_cast<double>(local.tm_min),
          static_cast<double>(local.tm_sec) + (fraction >= 0 && fraction < 1 ? fraction : 0)};
}

}  // namespace kelvane::runtime
