// Number and text conversion rules of the array runtime.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kelvane::runtime {

// General number-to-text conversion: integral values as plain integers without decimal point or
// exponent (1955000000, -30), others in the shortest form that reads back to the same double
// (1.955, 0.1), NaN as "NaN", infinities as "Inf" and "-Inf".
std::string numToText(double x);

// The C "%g" conversion: six significant digits, exponent notation only when needed
// (2457600 gives "2.4576e+06").
std::string formatG(double x);

// Reads one real number in decimal or exponent notation, blanks allowed around it ("  4.5e2 ").
// Anything else, the empty text included, gives no value.
std::optional<double> parseNumber(std::string_view text);

// Reads a text as a list of numbers: numbers separated by blanks, commas or semicolons,
// optionally inside one pair of square brackets ("1.5", "1 2 3", "[1, 2]"). An empty text gives
// an empty list; a text with anything that is not a number gives no value.
std::optional<std::vector<double>> parseNumberList(std::string_view text);

// One argument of sprintfText: a number or a text.
using FormatArg = std::variant<double, std::string>;

// The array runtime's sprintf for the conversions the system uses: %s, %d, %i, %u, %g, %G, %f,
// %e, %E, %x, %c and %%, with flags, width and precision. A %d or %i given a non-integral number,
// or a whole number beyond the 64-bit integers (1e300), prints it with %e, as the runtime does; the
// escapes \n, \r, \t, \\ in the format are expanded. Too few arguments end the output at the first
// conversion that lacks one.
std::string sprintfText(std::string_view format, std::span<const FormatArg> args);

// The candidates closest to a mistyped `word`, for "did you mean" hints: those within an edit
// distance of a third of the word's length (at least 2), compared without regard to case, the
// closest first (at most three). Example: nearestNames("frequency", {"Frequency", "Amplitude"})
// -> {"Frequency"}.
std::vector<std::string> nearestNames(std::string_view word,
                                      std::span<const std::string> candidates);

}  // namespace kelvane::runtime
