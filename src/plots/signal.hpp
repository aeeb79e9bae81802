// Generic signal routines with their standard behaviour, for the call forms the library uses:
// the frequency response of a digital filter (freqz) with its option parsing (psdoptions) and
// data wrapping (datawrap), framing a signal into overlapping or underlapping columns
// (buffer), decibels of power and voltage (db) and element-wise division that stays quiet
// about zeros (dividenowarn).
#pragma once

#include <complex>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace kelvane::plots {

using Complex = std::complex<double>;

// x wrapped modulo n: y(k) = sum over m of x(k + m n), k = 0 ... n - 1 (x shorter than n is
// zero-padded). The n-point transform of y samples the transform of x at n frequencies.
// Example: datawrap({1, 2, 3, 4, 5}, 2) is {9, 6}.
std::vector<Complex> datawrap(std::span<const Complex> x, std::size_t n);

// Element-wise num / den, a scalar operand applying to every element; a zero denominator gives
// an infinity or NaN as the arithmetic does, without a warning.
std::vector<Complex> dividenowarn(std::span<const Complex> num, std::span<const Complex> den);

enum class DbKind { Voltage, Power };
// Decibels: voltage 10 log10(|x|^2 / R) across R ohms (R > 0, default 1), power 10 log10(x)
// for x >= 0 (a negative or complex power is an Error).
std::vector<double> db(std::span<const Complex> x, DbKind kind, double ohms = 1);

// psdoptions: the frequency options of the spectral routines, from a list of arguments after
// the signal: up to two numbers (NFFT or a vector of frequencies, then the sample rate Fs; an
// empty value keeps the default) and the words "whole"/"twosided" or "half"/"onesided".
struct PsdOptions {
  std::vector<double> nfft{512};  // one number: points; several: the frequencies themselves
  std::optional<double> fs;       // Hz; none: normalised frequency
  bool whole = false;             // the whole unit circle, else the upper half
};
using PsdArgument = std::variant<std::vector<double>, std::string>;  // numbers or a word
// The options, or an error message (and the options as given) for an argument it cannot take.
struct PsdParse {
  PsdOptions options;
  std::string msg;
};
PsdParse psdoptions(PsdOptions defaults, std::span<const PsdArgument> args);

// freqz: the frequency response H = B(e^jw) / A(e^jw) of the filter b / a.
struct FreqzResult {
  std::vector<Complex> h;
  std::vector<double> w;  // rad/sample, or Hz with a sample rate
  bool hertz = false;
  bool whole = false;
  bool atGivenFrequencies = false;
};
// n points over [0, pi) (half) or [0, 2 pi) (whole), w(k) = k pi / n or 2 k pi / n, computed by
// transforms of 2n or n points (coefficients longer than that wrapped with datawrap); with a
// sample rate the frequencies are in Hz, f(k) = w(k) fs / 2 pi. Example: freqz({1, 1}, {1}, 2)
// gives h = {2, 1 - j} at w = {0, pi/2}.
FreqzResult freqz(std::span<const Complex> b, std::span<const Complex> a, const PsdOptions& o);

// buffer: a signal cut into the columns of an n-row matrix. p > 0 overlaps consecutive columns
// by p samples (the first column starts with p initial conditions, zeros by default, or with
// the signal itself with "nodelay"); p < 0 skips -p samples between columns (after `skip`
// initial samples). With `split` the result holds only full columns, and the samples of the
// partial last column are the remainder z; otherwise the last column is zero-padded.
struct BufferStart {
  bool nodelay = false;
  std::vector<Complex> initial;  // overlap: p initial conditions
  std::size_t skip = 0;          // underlap: samples skipped first, 0 <= skip < -p
};
struct Buffered {
  std::vector<Complex> y;  // n x columns, column-major
  std::size_t rows = 0;
  std::size_t columns = 0;
  std::vector<Complex> z;             // remainder (split only)
  std::vector<Complex> finalOverlap;  // overlap: the last p samples of the last full column
  std::size_t finalSkip = 0;          // underlap: samples still to skip in the next call
};
Buffered buffer(std::span<const Complex> x, std::size_t n, long p, const BufferStart& start,
                bool split);

// The magnitude response of a baseband filter against the IS-95 / cdma2000 mask: the normalised
// response within +-1.5 dB from 0 to 590 kHz and at least 40 dB down from 740 kHz. The levels
// are normalised to the middle of the passband ripple (0 dB halfway between the passband's
// highest and lowest level).
struct FilterResponsePlot {
  std::vector<double> frequency;  // display units, 0 ... fs / 2
  std::vector<double> level;      // dB, normalised to the middle of the passband ripple
  std::string fUnits;
  double divider = 1;
  double fMax = 0;
  double passbandEdge = 590e3;        // Hz
  double stopbandEdge = 740e3;        // Hz
  double passbandRipple = 1.5;        // dB either way
  double stopbandAttenuation = 40;    // dB
  double worstPassbandDeviation = 0;  // dB, half the passband's peak-to-peak ripple
  double worstStopbandLevel = 0;      // dB, highest level in the stopband
  bool conforms = false;
  double mMin = -100;
  double mMax = 10;
};
// `taps` at `sampleRate` Hz, computed by freqz at `points` frequencies over [0, fs / 2).
FilterResponsePlot filterResponsePlot(std::span<const double> taps, double sampleRate,
                                      std::size_t points = 8192);

}  // namespace kelvane::plots
