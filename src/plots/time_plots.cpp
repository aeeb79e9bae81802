#include "plots/time_plots.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "plots/error.hpp"
#include "plots/units.hpp"

namespace kelvane::plots {

double IqTimePlot::time(std::size_t k) const {
  const std::size_t points = i.size();
  if (points <= 1 || k + 1 >= points) return tMax;
  return tMin + static_cast<double>(k) * ((tMax - tMin) / static_cast<double>(points - 1));
}

IqTimePlot iqTimePlot(std::span<const std::complex<double>> iqWave, double sampleRate,
                      std::string label) {
  if (sampleRate <= 0 || std::isnan(sampleRate)) sampleRate = 1;
  IqTimePlot p;
  p.label = std::move(label);
  if (iqWave.empty()) {
    constexpr std::size_t points = 100;
    p.testSignal = true;
    p.label = "No Data";
    p.i.resize(points);
    p.q.resize(points);
    for (std::size_t k = 0; k < points; ++k) {
      const double theta =
          -2 * std::numbers::pi + static_cast<double>(k) * (4 * std::numbers::pi / (points - 1));
      p.i[k] = std::cos(theta);
      p.q[k] = std::sin(theta);
    }
  } else {
    p.i.resize(iqWave.size());
    p.q.resize(iqWave.size());
    for (std::size_t k = 0; k < iqWave.size(); ++k) {
      p.i[k] = iqWave[k].real();
      p.q[k] = iqWave[k].imag();
    }
  }
  const auto [iLo, iHi] = std::minmax_element(p.i.begin(), p.i.end());
  const auto [qLo, qHi] = std::minmax_element(p.q.begin(), p.q.end());
  p.iMax = std::max({std::abs(*iHi), std::abs(*iLo), std::abs(*qHi), std::abs(*qLo)});
  if (!(p.iMax > 0)) p.iMax = 1;  // an all-zero waveform still needs an amplitude span
  p.iMin = -p.iMax;
  const double period = static_cast<double>(p.i.size()) / sampleRate;
  const Units t = timeUnits(period);
  p.tUnits = t.text;
  p.multiplier = t.scale;
  p.tMin = 0;
  p.tMax = t.scale * period;
  return p;
}

namespace {

bool isWholeNumber(double x) {
  return std::isfinite(x) && x == std::floor(x);
}

}  // namespace

void checkEyeArguments(const SignalColumns& x, double n, double period, double offset) {
  require(!x.values.empty(), "Input variable X is empty.");
  require(x.columns <= 2, "Number of columns in the input data, X, cannot exceed 2.");
  require(isWholeNumber(n) && n > 1, "N must be an integer greater than 1.");
  require(period > 0 && std::isfinite(period), "PERIOD must be a positive number.");
  require(isWholeNumber(offset) && offset >= 0 && offset < n,
          "OFFSET must be a integer in the range 0 <= OFFSET < N.");
}

void checkScatterArguments(const SignalColumns& x, double n, double offset) {
  require(!x.values.empty(), "Input variable X is empty.");
  require(isWholeNumber(n) && n > 0, "N must be a positive integer.");
  require(isWholeNumber(offset) && offset >= 0, "OFFSET must be a nonnegative integer.");
  require(x.columns <= 2, "Number of columns in the input data, X, cannot exceed 2.");
}

std::vector<EyeComponent> eyeComponents(const SignalColumns& x) {
  std::vector<EyeComponent> out;
  auto column = [&](std::size_t c, bool imaginary) {
    std::vector<double> v(x.rows);
    for (std::size_t r = 0; r < x.rows; ++r) {
      const std::complex<double>& z = x.values[c * x.rows + r];
      v[r] = imaginary ? z.imag() : z.real();
    }
    return v;
  };
  if (x.complex && x.columns == 1) {
    out.push_back({"In-phase", column(0, false)});
    out.push_back({"Quadrature", column(0, true)});
    return out;
  }
  // Two columns are the in-phase and quadrature signals (of a complex matrix, the real parts).
  out.push_back({x.columns == 2 ? "In-phase" : "Signal", column(0, false)});
  if (x.columns == 2) out.push_back({"Quadrature", column(1, false)});
  return out;
}

std::vector<std::vector<std::pair<double, double>>> eyeTraces(std::span<const double> values,
                                                              std::size_t n, double period,
                                                              std::size_t offset) {
  std::vector<std::vector<std::pair<double, double>>> traces;
  double lastEnd = INFINITY;
  forEachEyeSegment(values, n, period, offset, [&](double t0, double v0, double t1, double v1) {
    if (traces.empty() || t0 != lastEnd) traces.push_back({{t0, v0}});
    traces.back().emplace_back(t1, v1);
    lastEnd = t1;
  });
  return traces;
}

ScatterPoints scatterPoints(const SignalColumns& x, std::size_t n, std::size_t offset) {
  ScatterPoints p;
  for (std::size_t r = offset; r < x.rows; r += n) {
    const std::complex<double>& first = x.values[r];
    if (x.columns == 2 && !x.complex) {
      p.x.push_back(first.real());
      p.y.push_back(x.values[x.rows + r].real());
    } else {
      p.x.push_back(first.real());
      p.y.push_back(first.imag());
    }
  }
  return p;
}

}  // namespace kelvane::plots
