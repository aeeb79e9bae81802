#include "synthesis/filter_design.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>
#include <numbers>
#include <string>
#include <utility>

#include "coding/error.hpp"

namespace kelvane::synthesis {

using coding::fail;
using coding::require;

// --- warnings ------------------------------------------------------------------------------------

namespace {

std::mutex warningMutex;
WarningSink warningSink;

void printWarning(std::string_view text) {
  std::fprintf(stderr, "Warning: %.*s\n", static_cast<int>(text.size()), text.data());
}

std::string number(double x) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.15g", x);
  return buf;
}

}  // namespace

WarningSink setWarningSink(WarningSink sink) {
  std::lock_guard lock(warningMutex);
  return std::exchange(warningSink, std::move(sink));
}

void warn(std::string_view text) {
  WarningSink sink;
  {
    std::lock_guard lock(warningMutex);
    sink = warningSink;
  }
  if (sink) {
    sink(text);
  } else {
    printWarning(text);
  }
}

// --- firchk --------------------------------------------------------------------------------------

FirchkResult firchk(double n, std::span<const double> a, bool exception) {
  FirchkResult r;
  r.order = n;
  if (!std::isfinite(n) || n != std::round(n) || n <= 0) {
    r.msg1 = kFirchkOrderMessage;
    return r;
  }
  const bool odd = std::fmod(n, 2.0) != 0.0;
  if (odd && !a.empty() && a.back() != 0.0 && !exception) {
    r.msg2 = kFirchkOddOrderMessage;
    r.order = n + 1;
  }
  return r;
}

// --- remezgrid -----------------------------------------------------------------------------------

std::vector<double> remezgrid(int nfilt, double lgrid, std::span<const double> ff, bool neg,
                              bool nodd) {
  require(!ff.empty(), "remezgrid: no band edges given");
  int nfcns = nfilt / 2;
  if (nodd && !neg) ++nfcns;
  require(nfcns >= 1, "remezgrid: the filter has no approximating functions (nfilt " +
                          std::to_string(nfilt) + ")");
  const double delf = 1.0 / (lgrid * nfcns);
  require(std::isfinite(delf) && delf > 0,
          "remezgrid: grid density must be a positive number, got " + number(lgrid));

  std::vector<double> grid{ff[0]};
  if (neg && grid[0] < delf) grid[0] = delf;
  std::size_t j = 0;  // the start point of the band being filled
  std::size_t l = 0;  // the band's lower edge in ff
  while (l + 1 < ff.size()) {
    const double fup = ff[l + 1];
    const double g0 = grid[j];
    // The points g0 + k delf that do not exceed fup + delf.
    for (long k = 1;; ++k) {
      const double g = g0 + static_cast<double>(k) * delf;
      if (!(g <= fup + delf)) break;
      grid.push_back(g);
    }
    require(grid.size() >= 2, "remezgrid: the first band is narrower than the grid spacing");
    grid[grid.size() - 2] = fup;
    j = grid.size() - 1;
    l += 2;
    if (l + 1 < ff.size()) grid[j] = ff[l];
  }
  std::size_t ngrid = j;  // the last point overshoots the last band and is dropped
  if (neg == nodd && ngrid > 0 && grid[ngrid - 1] > 1 - delf) {
    if (ff.size() >= 2 && ff[ff.size() - 2] < 1 - delf) {
      --ngrid;
    } else if (ff.size() >= 2) {
      grid[ngrid - 1] = ff[ff.size() - 2];
    }
  }
  grid.resize(ngrid);
  return grid;
}

// --- remezfrf ------------------------------------------------------------------------------------

DesiredResponse remezfrf(double /*n*/, std::span<const double> F, std::span<const double> GF,
                         std::span<const double> W, std::span<const double> A, bool diffFlag) {
  for (std::size_t k = 1; k + 2 < F.size(); k += 2) {
    if (F[k] == F[k + 1]) fail("Adjacent bands not allowed.");
  }
  if (F.size() != A.size()) fail("Frequency and amplitude vectors must be the same length.");
  require(!diffFlag, "remezfrf: differentiator weighting is not supported");
  const std::size_t bands = A.size() / 2;
  require(W.size() >= bands, "remezfrf: one weight per band is required (" + std::to_string(bands) +
                                 " bands, " + std::to_string(W.size()) + " weights)");
  DesiredResponse r;
  r.dh.assign(GF.size(), 0.0);
  r.dw.assign(GF.size(), 0.0);
  for (std::size_t b = 0; b < bands; ++b) {
    const double f1 = F[2 * b], f2 = F[2 * b + 1];
    const double a1 = A[2 * b], a2 = A[2 * b + 1];
    for (std::size_t i = 0; i < GF.size(); ++i) {
      const double g = GF[i];
      if (!(f1 <= g && g <= f2)) continue;
      if (f1 != f2) {
        r.dh[i] = a1 + (a2 - a1) / (f2 - f1) * (g - f1);
      } else {
        r.dh[i] = (a1 + a2) / 2;
      }
      r.dw[i] = W[b];
    }
  }
  return r;
}

// --- remezmex ------------------------------------------------------------------------------------

namespace {

// Two doubles in one SSE register: the evaluation loops process two reference points at once.
typedef double V2 __attribute__((vector_size(16)));

constexpr int kMaxIterations = 250;
// Stop when the largest weighted error on the grid exceeds the reference ripple by no more than
// this fraction: the reference is then optimal to far better than the filter's use needs.
constexpr double kConvergence = 1e-12;

// Q(w) of the four symmetries: the amplitude response is Q(w) P(cos w) with P a polynomial.
double symmetryFactor(int symmetry, double w) {
  switch (symmetry) {
    case 1:
      return 1.0;
    case 2:
      return std::cos(w / 2);
    case 3:
      return std::sin(w);
    default:
      return std::sin(w / 2);
  }
}

// Barycentric Lagrange interpolation on the cosine grid x = cos(pi f): the polynomial through the
// reference values, evaluated in the second (true) barycentric form.
class Interpolant {
 public:
  // Nodes x, values c. Throws when two nodes coincide.
  void build(const std::vector<double>& x, const std::vector<long double>& gamma,
             const std::vector<double>& c) {
    const std::size_t m = x.size();
    const std::size_t padded = (m + 1) & ~std::size_t{1};
    x_.assign(padded, 3.0);  // padding nodes far outside [-1, 1] with weight 0
    g_.assign(padded, 0.0);
    c_.assign(padded, 0.0);
    for (std::size_t k = 0; k < m; ++k) {
      x_[k] = x[k];
      g_[k] = static_cast<double>(gamma[k]);
      c_[k] = c[k];
    }
    m_ = m;
  }

  double operator()(double x) const {
    V2 num{0, 0}, den{0, 0};
    const V2 xv{x, x};
    for (std::size_t k = 0; k < x_.size(); k += 2) {
      V2 xk, gk, ck;
      __builtin_memcpy(&xk, &x_[k], sizeof xk);
      __builtin_memcpy(&gk, &g_[k], sizeof gk);
      __builtin_memcpy(&ck, &c_[k], sizeof ck);
      const V2 t = gk / (xv - xk);
      num += t * ck;
      den += t;
    }
    const double p = (num[0] + num[1]) / (den[0] + den[1]);
    if (std::isfinite(p)) return p;
    // x is one of the nodes (or as good as one): the node's value.
    for (std::size_t k = 0; k < m_; ++k) {
      if (x == x_[k]) return c_[k];
    }
    std::size_t nearest = 0;
    for (std::size_t k = 1; k < m_; ++k) {
      if (std::abs(x - x_[k]) < std::abs(x - x_[nearest])) nearest = k;
    }
    return c_[nearest];
  }

 private:
  std::vector<double> x_, g_, c_;
  std::size_t m_ = 0;
};

// Barycentric weights 1 / prod_{j != k} (x_k - x_j), scaled by a common power of two so that the
// largest is about 1 (the interpolant does not depend on a common factor). Products are kept as
// mantissa and exponent, so no length can overflow or underflow them.
std::vector<long double> barycentricWeights(const std::vector<double>& x) {
  const std::size_t m = x.size();
  std::vector<long double> mant(m);
  std::vector<long> expo(m);
  long maxExpo = std::numeric_limits<long>::min();
  for (std::size_t k = 0; k < m; ++k) {
    long double prod = 1.0L;
    long e = 0;
    for (std::size_t j = 0; j < m; ++j) {
      if (j == k) continue;
      prod *= static_cast<long double>(x[k]) - static_cast<long double>(x[j]);
      if ((j & 15) == 15) {
        int ej = 0;
        prod = std::frexp(prod, &ej);
        e += ej;
      }
    }
    if (prod == 0.0L) fail("remezmex: two reference frequencies coincide");
    int ej = 0;
    prod = std::frexp(prod, &ej);
    e += ej;
    mant[k] = 1.0L / prod;  // 1/prod lies in (1, 2] in magnitude
    expo[k] = -e;
    maxExpo = std::max(maxExpo, expo[k]);
  }
  std::vector<long double> gamma(m);
  for (std::size_t k = 0; k < m; ++k) {
    const long shift = std::max<long>(expo[k] - maxExpo, -20000);
    gamma[k] = std::ldexp(mant[k], static_cast<int>(shift));
  }
  return gamma;
}

struct Extremum {
  std::size_t index;  // into the working points
  double error;       // signed weighted error
};

// The largest-magnitude point of every run of equal error sign, in grid order: an alternating
// sequence as long as any alternating sequence on the grid.
std::vector<Extremum> signRunMaxima(const std::vector<double>& e) {
  std::vector<Extremum> out;
  for (std::size_t i = 0; i < e.size(); ++i) {
    if (e[i] == 0.0) continue;
    if (!out.empty() && (out.back().error > 0) == (e[i] > 0)) {
      if (std::abs(e[i]) > std::abs(out.back().error)) out.back() = {i, e[i]};
    } else {
      out.push_back({i, e[i]});
    }
  }
  return out;
}

// Thins an alternating sequence to `keep` points, keeping it alternating: the smallest extremum
// goes, with its smaller neighbour when it is interior; one point too many goes at whichever end
// is smaller.
void thin(std::vector<Extremum>& ext, std::size_t keep) {
  while (ext.size() > keep) {
    if (ext.size() == keep + 1) {
      if (std::abs(ext.front().error) < std::abs(ext.back().error)) {
        ext.erase(ext.begin());
      } else {
        ext.pop_back();
      }
      continue;
    }
    std::size_t m = 0;
    for (std::size_t i = 1; i < ext.size(); ++i) {
      if (std::abs(ext[i].error) < std::abs(ext[m].error)) m = i;
    }
    if (m == 0 || m + 1 == ext.size()) {
      ext.erase(ext.begin() + static_cast<std::ptrdiff_t>(m));
    } else {
      const std::size_t other =
          std::abs(ext[m - 1].error) < std::abs(ext[m + 1].error) ? m - 1 : m + 1;
      const std::size_t first = std::min(m, other);
      ext.erase(ext.begin() + static_cast<std::ptrdiff_t>(first),
                ext.begin() + static_cast<std::ptrdiff_t>(first + 2));
    }
  }
}

}  // namespace

RemezResult remezmex(int nfilt, std::span<const double> edges, std::span<const double> grid,
                     std::span<const double> des, std::span<const double> wt, int symmetry) {
  require(symmetry >= 1 && symmetry <= 4,
          "remezmex: symmetry code must be 1, 2, 3 or 4, got " + std::to_string(symmetry));
  require(nfilt >= 1, "remezmex: filter length must be positive, got " + std::to_string(nfilt));
  const bool oddLength = nfilt % 2 == 1;
  require(oddLength == (symmetry == 1 || symmetry == 3),
          "remezmex: symmetry code " + std::to_string(symmetry) + " does not fit filter length " +
              std::to_string(nfilt));
  require(edges.size() == 2,
          "remezmex: two band edges expected, got " + std::to_string(edges.size()));
  require(des.size() == grid.size() && wt.size() == grid.size(),
          "remezmex: grid, desired response and weights must have the same length");
  for (std::size_t i = 0; i < grid.size(); ++i) {
    require(std::isfinite(grid[i]) && std::isfinite(des[i]) && std::isfinite(wt[i]),
            "remezmex: grid, desired response and weights must be finite");
    require(i == 0 || grid[i] >= grid[i - 1], "remezmex: the grid must be non-decreasing");
  }
  const std::size_t r = symmetry == 1   ? static_cast<std::size_t>(nfilt + 1) / 2
                        : symmetry == 3 ? static_cast<std::size_t>(nfilt - 1) / 2
                                        : static_cast<std::size_t>(nfilt) / 2;
  require(r >= 1, "remezmex: filter length " + std::to_string(nfilt) + " is too short");

  // Working points: the grid without the frequencies where the symmetry forces a zero response
  // (Q = 0), at which no coefficient changes the error. There P approximates des/Q with weight
  // wt Q.
  std::vector<std::size_t> gridIndex;
  std::vector<double> x, d, w;
  for (std::size_t i = 0; i < grid.size(); ++i) {
    const double omega = std::numbers::pi * grid[i];
    const double q = symmetryFactor(symmetry, omega);
    if (std::abs(q) < 1e-14) continue;
    gridIndex.push_back(i);
    x.push_back(std::cos(omega));
    d.push_back(des[i] / q);
    w.push_back(wt[i] * q);
  }
  const std::size_t n = x.size();
  require(n >= r + 1, "remezmex: " + std::to_string(n) + " grid points are too few for " +
                          std::to_string(r + 1) + " extremal frequencies");

  // Initial reference: r + 1 points evenly spread over the grid.
  std::vector<std::size_t> ref(r + 1);
  for (std::size_t k = 0; k <= r; ++k) {
    ref[k] = static_cast<std::size_t>(
        std::llround(static_cast<double>(k) * static_cast<double>(n - 1) / static_cast<double>(r)));
  }

  Interpolant p;
  std::vector<double> e(n), xr(r + 1), cr(r + 1);
  long double delta = 0;
  int iterations = 0;
  for (;;) {
    ++iterations;
    for (std::size_t k = 0; k <= r; ++k)
      xr[k] = x[ref[k]];
    const std::vector<long double> gamma = barycentricWeights(xr);
    // The levelled ripple of the reference: the r-th divided difference of
    // d - (-1)^k delta / w vanishes, so the values below lie on a polynomial of degree r - 1.
    long double num = 0, den = 0;
    for (std::size_t k = 0; k <= r; ++k) {
      const long double sign = (k % 2 == 0) ? 1.0L : -1.0L;
      num += gamma[k] * d[ref[k]];
      den += gamma[k] * sign / w[ref[k]];
    }
    delta = num / den;
    if (!std::isfinite(static_cast<double>(delta)))
      fail("remezmex: the reference equations are singular");
    for (std::size_t k = 0; k <= r; ++k) {
      const long double sign = (k % 2 == 0) ? 1.0L : -1.0L;
      cr[k] = static_cast<double>(d[ref[k]] - sign * delta / w[ref[k]]);
    }
    p.build(xr, gamma, cr);

    double maxError = 0;
    for (std::size_t i = 0; i < n; ++i) {
      e[i] = w[i] * (d[i] - p(x[i]));
      maxError = std::max(maxError, std::abs(e[i]));
    }
    // At the reference the error is +-delta by construction; writing it exactly keeps every
    // reference point in its own sign run, however small delta is against the rounding.
    for (std::size_t k = 0; k <= r; ++k)
      e[ref[k]] = (k % 2 == 0 ? 1.0 : -1.0) * static_cast<double>(delta);
    const double ripple = std::abs(static_cast<double>(delta));
    if (maxError - ripple <= kConvergence * ripple) break;

    std::vector<Extremum> ext = signRunMaxima(e);
    if (ext.size() < r + 1) fail("remezmex: insufficient extremals");
    thin(ext, r + 1);
    bool same = true;
    for (std::size_t k = 0; k <= r; ++k) {
      if (ext[k].index != ref[k]) same = false;
      ref[k] = ext[k].index;
    }
    if (same) break;
    if (iterations >= kMaxIterations)
      fail("remezmex: no convergence after " + std::to_string(kMaxIterations) + " iterations");
  }

  // Coefficients: the amplitude response A = Q P sampled at nfilt equally spaced frequencies and
  // transformed back. With c = (nfilt - 1)/2, h(n) = 1/N sum_m A(w_m) cos(w_m (n - c)) for the
  // symmetric and 1/N sum_m A(w_m) sin(w_m (n - c)) for the antisymmetric filters, where
  // w_m (n - c) = pi m (2n - N + 1) / N, read from one table of cos(pi k / N).
  const std::size_t N = static_cast<std::size_t>(nfilt);
  std::vector<double> amp(N), table(2 * N);
  for (std::size_t m = 0; m < N; ++m) {
    const double omega = 2 * std::numbers::pi * static_cast<double>(m) / static_cast<double>(N);
    amp[m] = symmetryFactor(symmetry, omega) * p(std::cos(omega));
  }
  const bool antisymmetric = symmetry >= 3;
  for (std::size_t k = 0; k < 2 * N; ++k) {
    const double a = std::numbers::pi * static_cast<double>(k) / static_cast<double>(N);
    table[k] = antisymmetric ? std::sin(a) : std::cos(a);
  }
  RemezResult res;
  res.h.assign(N, 0.0);
  const long long twoN = static_cast<long long>(2 * N);
  for (std::size_t i = 0; i < (N + 1) / 2; ++i) {
    const long long step = 2 * static_cast<long long>(i) - static_cast<long long>(N) + 1;
    const long long stepMod = ((step % twoN) + twoN) % twoN;
    long long k = 0;
    long double sum = 0;
    for (std::size_t m = 0; m < N; ++m) {
      sum += static_cast<long double>(amp[m]) * table[static_cast<std::size_t>(k)];
      k += stepMod;
      if (k >= twoN) k -= twoN;
    }
    const double hi = static_cast<double>(sum / static_cast<long double>(N));
    res.h[i] = hi;
    res.h[N - 1 - i] = antisymmetric ? -hi : hi;
  }
  if (antisymmetric && N % 2 == 1) res.h[N / 2] = 0.0;

  res.err = static_cast<double>(delta);
  res.iext.resize(r + 1);
  for (std::size_t k = 0; k <= r; ++k)
    res.iext[k] = static_cast<int>(gridIndex[ref[k]] + 1);
  res.iterations = iterations;
  return res;
}

// --- remez2 --------------------------------------------------------------------------------------

namespace {

// Far above every design of this program (337 taps at most); keeps the grid and the exchange
// within memory and time for any order given by name.
constexpr double kMaxOrder = 9999;

bool startsWithAnyCase(std::string_view type, char c) {
  return !type.empty() && std::tolower(static_cast<unsigned char>(type[0])) == c;
}

bool isPrefixOf(const std::string& lower, std::string_view word) {
  return !lower.empty() && lower.size() <= word.size() && word.substr(0, lower.size()) == lower;
}

std::vector<double> weightsOf(std::span<const double> ff, const Remez2Options& options) {
  if (options.weights) return *options.weights;
  return std::vector<double>(ff.size() / 2, 1.0);
}

}  // namespace

void remez2CheckArguments(double order, std::span<const double> ff, const Remez2Options& options) {
  if (order < 3) fail("Filter order must be 3 or more.");
  const std::string type = options.type.empty() ? std::string("f") : options.type;
  if (type == "m") fail("remez2: filter type 'm' is not supported");
  if (startsWithAnyCase(type, 'h') || startsWithAnyCase(type, 'd'))
    fail("remez2: Hilbert transformer and differentiator designs are not supported");
  if (ff.size() % 2 != 0) fail("The number of frequency points must be even.");
  for (double f : ff) {
    if (f < 0 || f > 1) fail("Frequencies must lie between 0 and 1.");
  }
  for (std::size_t i = 1; i < ff.size(); ++i) {
    if (ff[i] < ff[i - 1]) fail("Frequencies must be non-decreasing.");
  }
  const std::vector<double> wtx = weightsOf(ff, options);
  if (wtx.size() != ff.size() / 2) fail("There should be one weight per band.");
  const bool anyPositive = std::any_of(wtx.begin(), wtx.end(), [](double v) { return v > 0; });
  const bool anyNegative = std::any_of(wtx.begin(), wtx.end(), [](double v) { return v < 0; });
  const bool anyZero = std::any_of(wtx.begin(), wtx.end(), [](double v) { return v == 0; });
  if (anyZero || (anyPositive && anyNegative)) fail("All weights must be greater than zero.");
  require(std::isfinite(options.gridDensity) && options.gridDensity > 0,
          "remez2: grid density must be a positive number, got " + number(options.gridDensity));
  require(!ff.empty(), "remez2: at least one band is required");
}

Remez2Result remez2(double order, std::span<const double> ff, std::span<const double> aa,
                    const Remez2Options& options) {
  remez2CheckArguments(order, ff, options);
  const std::vector<double> wtx = weightsOf(ff, options);
  std::string lower = options.type.empty() ? std::string("f") : options.type;
  for (char& ch : lower)
    ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  const bool exception = isPrefixOf(lower, "differentiator") || isPrefixOf(lower, "hilbert");

  const FirchkResult checked = firchk(order, aa, exception);
  if (!checked.msg1.empty()) fail(checked.msg1);
  if (!checked.msg2.empty()) warn(checked.msg2);
  order = checked.order;
  require(order <= kMaxOrder, "remez2: filter order " + number(order) + " is too large (at most " +
                                  number(kMaxOrder) + ")");

  const int nfilt = static_cast<int>(order) + 1;
  const bool nodd = nfilt % 2 == 1;
  // remezfrf's default symmetry is "even": a symmetric filter.
  const int symmetry = nodd ? 1 : 2;
  const bool neg = false;

  double lgrid = options.gridDensity;
  std::vector<double> grid = remezgrid(nfilt, lgrid, ff, neg, nodd);
  while (grid.size() <= static_cast<std::size_t>(nfilt)) {
    lgrid *= 4;
    std::vector<double> denser = remezgrid(nfilt, lgrid, ff, neg, nodd);
    require(denser.size() > grid.size(),
            "remez2: the bands are too narrow for a grid of more than " + std::to_string(nfilt) +
                " points");
    grid = std::move(denser);
  }
  const DesiredResponse resp = remezfrf(order, ff, grid, wtx, aa, false);
  RemezResult core =
      remezmex(nfilt, std::vector<double>{ff.front(), ff.back()}, grid, resp.dh, resp.dw, symmetry);
  return {std::move(core.h), std::abs(core.err), core.iterations};
}

}  // namespace kelvane::synthesis
