// Parks-McClellan design of the linear-phase baseband filters: the remez2 wrapper with its
// argument checks (remez2, firchk), its frequency grid (remezgrid) and desired response
// (remezfrf), and our own weighted-Chebyshev exchange core (remezmex).
//
// Frequencies are normalised so that 1 is half the sample rate.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane::synthesis {

// --- warnings ------------------------------------------------------------------------------------

// Where design warnings go (firchk's order correction). The default writes "Warning: <text>" and a
// newline to standard error. Returns the previous sink; an empty sink restores the default.
using WarningSink = std::function<void(std::string_view text)>;
WarningSink setWarningSink(WarningSink sink);
void warn(std::string_view text);

// --- firchk --------------------------------------------------------------------------------------

inline constexpr std::string_view kFirchkOrderMessage =
    "Filter order must be a real, positive integer.";
// The order-correction warning, after the formatter: "\r" is a carriage return.
inline constexpr std::string_view kFirchkOddOrderMessage =
    "Odd order symmetric FIR filters must have a gain of zero \rat the Nyquist frequency. The "
    "order "
    "is being increased by one.";

struct FirchkResult {
  double order = 0;  // the order, increased by one by the odd-order correction
  std::string msg1;  // error text, empty when the order is valid
  std::string msg2;  // warning text, empty when nothing was corrected
};

// Checks a filter order `n` against the last amplitude of `a`: a non-integer or non-positive order
// gives msg1; an odd order with a(end) != 0 and `exception` false is increased by one with msg2.
// Example: firchk(5, {1, 1, 0, 1}, false) -> {6, "", kFirchkOddOrderMessage}.
FirchkResult firchk(double n, std::span<const double> a, bool exception = false);

// --- grid and desired response -------------------------------------------------------------------

// The design grid for `nfilt` taps: `lgrid` points per approximating function and unit band,
// `ff` band edges in pairs, `neg` antisymmetric, `nodd` odd length. Example:
// remezgrid(60, 16, {0, 0.192, 0.241, 1}, false, false) spans [0, 0.192] and [0.241, 1].
std::vector<double> remezgrid(int nfilt, double lgrid, std::span<const double> ff, bool neg,
                              bool nodd);

struct DesiredResponse {
  std::vector<double> dh;  // desired amplitude at each grid point
  std::vector<double> dw;  // weight at each grid point
};

// Piecewise-linear desired response of bands F (edge pairs) with amplitudes A at their edges and
// one weight W per band, on the grid GF. `n` (the order) is not used. Only the ordinary weighting
// (diffFlag false) is available.
DesiredResponse remezfrf(double n, std::span<const double> F, std::span<const double> GF,
                         std::span<const double> W, std::span<const double> A,
                         bool diffFlag = false);

// --- exchange core -------------------------------------------------------------------------------

struct RemezResult {
  std::vector<double> h;  // nfilt coefficients
  double err = 0;         // final weighted ripple (signed)
  std::vector<int> iext;  // 1-based grid indices of the nfcns + 1 extremal frequencies
  int iterations = 0;     // exchange iterations until the reference stopped changing
};

// The weighted-Chebyshev-optimal linear-phase filter of `nfilt` taps on `grid` (1 = fs/2): it
// minimises max |wt(f) (des(f) - A(f))| over the grid, A the amplitude response. `symmetry`: 1
// symmetric odd length, 2 symmetric even, 3 antisymmetric odd, 4 antisymmetric even. For the
// antisymmetric codes H(e^jw) = -j e^(-jw(nfilt-1)/2) A(w). `edges` holds the two outer band edges
// [ff(1), ff(end)] and is only checked. Example: remezmex(60, {0, 1}, grid, des, wt, 2).
RemezResult remezmex(int nfilt, std::span<const double> edges, std::span<const double> grid,
                     std::span<const double> des, std::span<const double> wt, int symmetry);

// --- remez2 --------------------------------------------------------------------------------------

struct Remez2Options {
  std::optional<std::vector<double>> weights;  // one per band; absent: all ones
  std::string type = "f";                      // filter type; empty is "f"
  double gridDensity = 16;                     // grid points per function and unit band
};

struct Remez2Result {
  std::vector<double> h;  // order + 1 coefficients (order as corrected by firchk)
  double err = 0;         // |ripple|
  int iterations = 0;     // exchange iterations
};

// Steps of remez2 that check the order, the band edges, the weights and the filter type, with
// their error texts; remez2 runs them first.
void remez2CheckArguments(double order, std::span<const double> ff, const Remez2Options& options);

// Parks-McClellan design of an ordinary multiband filter of `order` with band edges `ff` and
// amplitudes `aa` at the edges. Example: remez2(59, {0, 0.192, 0.241, 1}, {1, 1, 0, 0},
// {.weights = {{1, 20}}}) is the 60-tap Std baseband filter at 5 samples per chip.
Remez2Result remez2(double order, std::span<const double> ff, std::span<const double> aa,
                    const Remez2Options& options = {});

}  // namespace kelvane::synthesis
