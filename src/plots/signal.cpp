#include "plots/signal.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <numbers>

#include "plots/error.hpp"
#include "plots/fft.hpp"
#include "plots/units.hpp"

namespace kelvane::plots {

std::vector<Complex> datawrap(std::span<const Complex> x, std::size_t n) {
  require(n >= 1, "datawrap: the length must be a positive integer");
  std::vector<Complex> y(n);
  for (std::size_t k = 0; k < x.size(); ++k)
    y[k % n] += x[k];
  return y;
}

namespace {

// Real operands divide as reals, so that 1 / 0 is Inf rather than a complex NaN.
Complex divideQuietly(Complex a, Complex b) {
  return a.imag() == 0 && b.imag() == 0 ? Complex(a.real() / b.real()) : a / b;
}

}  // namespace

std::vector<Complex> dividenowarn(std::span<const Complex> num, std::span<const Complex> den) {
  require(num.size() == den.size() || num.size() == 1 || den.size() == 1,
          "dividenowarn: the operands must have the same size, or one must be a scalar");
  const std::size_t n = std::max(num.size(), den.size());
  if (num.empty() || den.empty()) return {};
  std::vector<Complex> y(n);
  for (std::size_t k = 0; k < n; ++k) {
    y[k] = divideQuietly(num[num.size() == 1 ? 0 : k], den[den.size() == 1 ? 0 : k]);
  }
  return y;
}

std::vector<double> db(std::span<const Complex> x, DbKind kind, double ohms) {
  require(ohms > 0, "db: the resistance R must be positive");
  std::vector<double> out(x.size());
  for (std::size_t k = 0; k < x.size(); ++k) {
    if (kind == DbKind::Power) {
      require(x[k].imag() == 0 && x[k].real() >= 0,
              "db: a power must be a non-negative real number");
      out[k] = 10 * std::log10(x[k].real());
    } else {
      out[k] = 10 * std::log10(std::norm(x[k]) / ohms);
    }
  }
  return out;
}

namespace {

std::string lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// One word of psdoptions; false for a word it does not know.
bool applyWord(const std::string& word, PsdOptions& o) {
  const std::string w = lower(word);
  if (w == "whole" || w == "twosided") {
    o.whole = true;
    return true;
  }
  if (w == "half" || w == "onesided") {
    o.whole = false;
    return true;
  }
  return false;
}

// One numeric argument: the first is NFFT (or the frequencies), the second Fs.
std::string applyNumber(const std::vector<double>& v, int index, PsdOptions& o) {
  if (index == 0) {
    if (v.empty()) return {};
    if (v.size() == 1 && !(v[0] >= 1 && v[0] == std::floor(v[0]) && std::isfinite(v[0])))
      return "NFFT must be a positive integer.";
    o.nfft = v;
    return {};
  }
  if (index == 1) {
    if (v.empty()) return {};
    if (v.size() != 1 || !(v[0] > 0) || !std::isfinite(v[0]))
      return "Fs must be a positive number.";
    o.fs = v[0];
    return {};
  }
  return "Too many numeric inputs: NFFT and Fs at most.";
}

}  // namespace

PsdParse psdoptions(PsdOptions defaults, std::span<const PsdArgument> args) {
  PsdParse r{std::move(defaults), {}};
  int numbers = 0;
  for (const PsdArgument& a : args) {
    if (const auto* word = std::get_if<std::string>(&a)) {
      if (!applyWord(*word, r.options)) r.msg = "Unrecognized option \"" + *word + "\".";
    } else {
      r.msg = applyNumber(std::get<std::vector<double>>(a), numbers++, r.options);
    }
    if (!r.msg.empty()) return r;
  }
  return r;
}

namespace {

// The response at given frequencies (rad/sample): the two polynomials in e^-jw evaluated
// directly.
std::vector<Complex> responseAt(std::span<const Complex> b, std::span<const Complex> a,
                                std::span<const double> w) {
  auto poly = [](std::span<const Complex> c, double wk) {
    Complex sum = 0;
    const Complex z = std::polar(1.0, -wk);
    for (std::size_t k = c.size(); k-- > 0;)
      sum = sum * z + c[k];
    return sum;
  };
  std::vector<Complex> h(w.size());
  for (std::size_t k = 0; k < w.size(); ++k)
    h[k] = divideQuietly(poly(b, w[k]), poly(a, w[k]));
  return h;
}

}  // namespace

FreqzResult freqz(std::span<const Complex> b, std::span<const Complex> a, const PsdOptions& o) {
  require(!b.empty() && !a.empty(), "freqz: the coefficients b and a must not be empty");
  FreqzResult r;
  r.whole = o.whole;
  r.hertz = o.fs.has_value();
  const double toUnits = r.hertz ? *o.fs / (2 * std::numbers::pi) : 1.0;
  if (o.nfft.size() > 1) {
    // Frequencies given: in Hz with a sample rate, else in rad/sample.
    r.atGivenFrequencies = true;
    r.w = o.nfft;
    std::vector<double> rad(o.nfft);
    for (double& x : rad)
      x /= toUnits;
    r.h = responseAt(b, a, rad);
    return r;
  }
  const auto n = static_cast<std::size_t>(o.nfft.at(0));
  require(n >= 1, "freqz: the number of points must be positive");
  const std::size_t points = o.whole ? n : 2 * n;
  const std::vector<Complex> num = dft(datawrap(b, points));
  const std::vector<Complex> den = dft(datawrap(a, points));
  const std::vector<Complex> h = dividenowarn(num, den);
  r.h.assign(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(n));
  r.w.resize(n);
  const double span = o.whole ? 2 * std::numbers::pi : std::numbers::pi;
  for (std::size_t k = 0; k < n; ++k)
    r.w[k] = static_cast<double>(k) * span / static_cast<double>(n) * toUnits;
  return r;
}

namespace {

void checkBufferArguments(std::size_t n, long p, const BufferStart& start) {
  require(n >= 1, "buffer: the frame length N must be a positive integer");
  require(p < static_cast<long>(n), "buffer: the overlap P must be less than N");
  if (p > 0)
    require(start.nodelay || start.initial.empty() ||
                start.initial.size() == static_cast<std::size_t>(p),
            "buffer: the initial conditions must hold P samples");
  if (p < 0) {
    require(!start.nodelay, "buffer: \"nodelay\" applies to an overlap only");
    require(start.skip < static_cast<std::size_t>(-p),
            "buffer: the initial skip must lie in 0 ... -P - 1");
  }
  if (p == 0) require(!start.nodelay, "buffer: \"nodelay\" applies to an overlap only");
}

// The stream the columns are cut from: initial conditions (overlap) or the initial skip
// (underlap) applied.
std::vector<Complex> bufferStream(std::span<const Complex> x, long p, const BufferStart& start) {
  std::vector<Complex> s;
  if (p > 0 && !start.nodelay) {
    s = start.initial.empty() ? std::vector<Complex>(static_cast<std::size_t>(p)) : start.initial;
    s.insert(s.end(), x.begin(), x.end());
  } else if (p < 0) {
    s.assign(x.begin() + static_cast<std::ptrdiff_t>(std::min(start.skip, x.size())), x.end());
  } else {
    s.assign(x.begin(), x.end());
  }
  return s;
}

}  // namespace

Buffered buffer(std::span<const Complex> x, std::size_t n, long p, const BufferStart& start,
                bool split) {
  checkBufferArguments(n, p, start);
  const std::vector<Complex> s = bufferStream(x, p, start);
  const std::size_t hop = static_cast<std::size_t>(static_cast<long>(n) - p);
  const std::size_t lead = p > 0 ? static_cast<std::size_t>(p) : 0;
  const std::size_t size = s.size();
  // Every column brings `hop` new samples (the first also its p leading ones); an underlap
  // column exists when it starts within the stream.
  std::size_t columns = 0;
  if (p >= 0) {
    columns = size > lead ? (size - lead + hop - 1) / hop : (x.empty() ? 0 : 1);
  } else {
    columns = (size + hop - 1) / hop;
  }
  std::size_t full = 0;
  while (full < columns && full * hop + n <= size)
    ++full;
  Buffered b;
  b.rows = n;
  b.columns = split ? full : columns;
  b.y.assign(n * b.columns, Complex());
  for (std::size_t c = 0; c < b.columns; ++c)
    for (std::size_t r = 0; r < n && c * hop + r < size; ++r)
      b.y[c * n + r] = s[c * hop + r];
  if (split) {
    // The samples not in a full column: after the last full one (an underlap first skips its
    // gap), or the signal itself when no column is full.
    std::size_t from = p > 0 && !start.nodelay ? lead : 0;
    if (full > 0) from = p < 0 ? full * hop : (full - 1) * hop + n;
    if (from < size) b.z.assign(s.begin() + static_cast<std::ptrdiff_t>(from), s.end());
  }
  if (p > 0 && full > 0)
    b.finalOverlap.assign(s.begin() + static_cast<std::ptrdiff_t>((full - 1) * hop + n - lead),
                          s.begin() + static_cast<std::ptrdiff_t>((full - 1) * hop + n));
  if (p < 0 && full > 0) {
    const std::size_t end = (full - 1) * hop + n;  // end of the last full column
    const std::size_t left = size - end;
    const auto gap = static_cast<std::size_t>(-p);
    b.finalSkip = left < gap ? gap - left : 0;
  }
  return b;
}

namespace {

// The display frequencies and levels of the response: dB, then shifted so that the passband
// ripple is centred on 0 dB.
void fillResponse(std::span<const double> taps, double sampleRate, std::size_t points,
                  FilterResponsePlot& r) {
  std::vector<Complex> b(taps.begin(), taps.end());
  const std::vector<Complex> a{1.0};
  PsdOptions o;
  o.nfft = {static_cast<double>(points)};
  o.fs = sampleRate;
  const FreqzResult f = freqz(b, a, o);
  require(std::abs(f.h.at(0)) > 0, "the filter has no gain at 0 Hz");
  r.frequency.resize(f.w.size());
  r.level.resize(f.w.size());
  double high = -INFINITY, low = INFINITY;
  for (std::size_t k = 0; k < f.w.size(); ++k) {
    r.frequency[k] = f.w[k] / r.divider;
    r.level[k] = 20 * std::log10(std::abs(f.h[k]));
    if (f.w[k] <= r.passbandEdge) high = std::max(high, r.level[k]), low = std::min(low, r.level[k]);
  }
  const double middle = (high + low) / 2;
  r.worstPassbandDeviation = (high - low) / 2;
  for (std::size_t k = 0; k < f.w.size(); ++k) {
    r.level[k] -= middle;
    if (f.w[k] >= r.stopbandEdge) r.worstStopbandLevel = std::max(r.worstStopbandLevel, r.level[k]);
  }
}

}  // namespace

FilterResponsePlot filterResponsePlot(std::span<const double> taps, double sampleRate,
                                      std::size_t points) {
  require(!taps.empty(), "the filter has no coefficients");
  require(sampleRate > 2 * 740e3, "the sample rate must exceed twice the stopband edge");
  FilterResponsePlot r;
  const Units u = frequencyUnits(sampleRate);
  r.fUnits = u.text;
  r.divider = u.scale;
  r.fMax = sampleRate / 2 / u.scale;
  r.worstStopbandLevel = -INFINITY;
  fillResponse(taps, sampleRate, points, r);
  r.conforms = r.worstPassbandDeviation <= r.passbandRipple &&
               r.worstStopbandLevel <= -r.stopbandAttenuation;
  const double lowest = *std::min_element(r.level.begin(), r.level.end());
  r.mMin = std::max(std::floor(lowest / 10) * 10, -120.0);
  r.mMax = 10;
  return r;
}

}  // namespace kelvane::plots
