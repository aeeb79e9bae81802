#include "plots/ccdf.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace kelvane::plots {

namespace {

constexpr std::size_t kLevels = 201;

// n points from a to b in equal steps (b - a) / (n - 1).
double step(double a, double b, std::size_t n, std::size_t i) {
  return a + static_cast<double>(i) * ((b - a) / static_cast<double>(n - 1));
}

std::vector<std::complex<double>> testSignal() {
  constexpr std::size_t points = 1000;
  constexpr double pi = std::numbers::pi;
  std::vector<std::complex<double>> w(points);
  for (std::size_t i = 0; i < points; ++i) {
    const double am = std::cos(step(-pi, pi, points, i)) + 1.5;
    const double phi = step(-10 * pi, 10 * pi, points, i);
    w[i] = {am * std::cos(phi), am * std::sin(phi)};
  }
  return w;
}

// Per-sample power in dB relative to the average power, with the 1e-300 guards that keep an
// all-zero waveform finite.
std::vector<double> relativePower(std::span<const std::complex<double>> w) {
  std::vector<double> p(w.size());
  double smallest = INFINITY;
  for (std::size_t i = 0; i < w.size(); ++i) {
    p[i] = std::norm(w[i]);
    smallest = std::min(smallest, p[i]);
  }
  if (smallest == 0)
    for (double& x : p)
      x += 1e-300;
  double sumT = 0;
  for (double x : p)
    sumT += x;
  if (sumT == 0) sumT = 1e-300;
  const double rmsDb = 10 * std::log10(sumT / static_cast<double>(w.size()));
  for (double& x : p)
    x = 10 * std::log10(x) - rmsDb;
  return p;
}

// Y(k) = number of samples with relPwr >= X(k): each sample counts at the levels up to the
// last one it reaches, so one pass and a running sum give every count.
std::vector<double> countsAtOrAbove(std::span<const double> relPwr, std::span<const double> X) {
  std::vector<double> reached(X.size() + 1, 0.0);
  for (double r : relPwr) {
    const auto levels = std::isnan(r) ? 0 : std::upper_bound(X.begin(), X.end(), r) - X.begin();
    reached[static_cast<std::size_t>(levels)] += 1;
  }
  std::vector<double> Y(X.size());
  double atOrAbove = 0;
  for (std::size_t k = X.size(); k-- > 0;) {
    atOrAbove += reached[k + 1];
    Y[k] = atOrAbove;
  }
  return Y;
}

}  // namespace

CcdfPlot ccdfPlot(std::span<const std::complex<double>> iqWave) {
  CcdfPlot c;
  std::vector<std::complex<double>> test;
  if (iqWave.empty()) {
    test = testSignal();
    iqWave = test;
    c.testSignal = true;
  }
  c.points = iqWave.size();
  c.realWave = std::all_of(iqWave.begin(), iqWave.end(),
                           [](const std::complex<double>& z) { return z == std::conj(z); });
  const std::vector<double> relPwr = relativePower(iqWave);
  const double peak = *std::max_element(relPwr.begin(), relPwr.end());
  c.maxX = std::max(20.0, peak);
  if (c.maxX > 20) c.maxX *= 1.01;
  c.stepX = c.maxX / 200;
  c.X.resize(kLevels);
  for (std::size_t k = 0; k < kLevels; ++k)
    c.X[k] = static_cast<double>(k) * c.stepX;
  c.X.back() = c.maxX;
  c.Y = countsAtOrAbove(relPwr, c.X);
  for (double& y : c.Y)
    y = y / static_cast<double>(c.points) * 100;
  c.Y1.resize(kLevels);
  for (std::size_t k = 0; k < kLevels; ++k)
    c.Y1[k] = c.realWave ? 100 * std::erfc(std::pow(10, c.X[k] / 20) / std::numbers::sqrt2)
                         : 100 * std::exp(-std::pow(10, c.X[k] / 10));
  c.yMin = *std::min_element(c.Y.begin(), c.Y.end());
  if (c.yMin == 0) {
    // The smallest positive percentage (Y does not increase); none when rounding put every
    // sample a hair below the average, and then the cap below decides.
    const auto positive = static_cast<std::size_t>(
        std::count_if(c.Y.begin(), c.Y.end(), [](double y) { return y > 0; }));
    c.yMin = positive > 0 ? c.Y[positive - 1] : 0.001;
    for (double& y : c.Y)
      y += 1e-300;
  }
  c.yMin = std::min(c.yMin, 0.001);
  return c;
}

}  // namespace kelvane::plots
