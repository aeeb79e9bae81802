// The generic by-name adapter around a typed operation. Every operation is an ordinary C++
// function with typed parameters; `typed(fn)` turns it into an Operation that converts each
// input Value to the parameter's type, calls it and converts the results back. Absent trailing
// inputs become std::nullopt for std::optional parameters; a tuple result gives several outputs.
//
// A subsystem's record types get their conversions by specialising Convert<T> next to its
// bindings:
//   template <> struct Convert<ModParams> {
//     static ModParams from(const Value& v);
//     static Value to(const ModParams& m);
//   };
#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "registry/registry.hpp"
#include "runtime/numbers.hpp"
#include "runtime/text.hpp"
#include "runtime/value.hpp"

namespace kelvane::registry {

// One bit a byte, first transmitted bit first.
using BitRow = std::vector<std::uint8_t>;

template <class T, class Enable = void>
struct Convert;  // from(const Value&) -> T, to(T) -> Value

template <>
struct Convert<Value> {
  static Value from(const Value& v) { return v; }
  static Value to(Value v) { return v; }
};

template <>
struct Convert<double> {
  static double from(const Value& v) { return v.toDouble(); }
  static Value to(double x) { return Value::scalar(x); }
};

template <>
struct Convert<bool> {
  static bool from(const Value& v) { return v.toDouble() != 0.0; }
  static Value to(bool b) { return Value::scalar(b ? 1.0 : 0.0); }
};

// Whole numbers: a non-integral or non-finite value is refused.
template <class I>
struct Convert<I, std::enable_if_t<std::is_integral_v<I> && !std::is_same_v<I, bool> &&
                                   !std::is_same_v<I, std::uint8_t>>> {
  static I from(const Value& v) {
    const double x = v.toDouble();
    // 2^digits is exact in a double and one past the largest value of I.
    const double hi = std::ldexp(1.0, std::numeric_limits<I>::digits);
    const double lo = std::is_signed_v<I> ? -hi : 0.0;
    if (!runtime::isWhole(x) || x < lo || x >= hi)
      throw runtime::Error("expected a whole number in " + runtime::numToText(lo) + " .. " +
                           runtime::numToText(hi - 1) + ", got " + v.toString());
    return static_cast<I>(x);
  }
  static Value to(I x) { return Value::scalar(static_cast<double>(x)); }
};

template <>
struct Convert<std::string> {
  static std::string from(const Value& v) {
    if (v.kind() == runtime::Kind::Empty) return {};
    return v.str();
  }
  static Value to(std::string s) { return Value::text(std::move(s)); }
};

// Real vectors: any real array, read in column-major order; written as a 1 x n row.
template <>
struct Convert<std::vector<double>> {
  static std::vector<double> from(const Value& v) { return v.toDoubles(); }
  static Value to(std::vector<double> d) { return Value::row(std::move(d)); }
};

template <>
struct Convert<std::vector<std::complex<double>>> {
  static std::vector<std::complex<double>> from(const Value& v) { return v.toComplex(); }
  static Value to(std::vector<std::complex<double>> d) { return Value::complexRow(std::move(d)); }
};

// Bit rows: every element must be 0 or 1; written as a 1 x n row of 0/1 doubles.
template <>
struct Convert<BitRow> {
  static BitRow from(const Value& v) {
    auto d = v.realData();
    BitRow bits(d.size());
    for (std::size_t i = 0; i < d.size(); ++i) {
      if (d[i] != 0.0 && d[i] != 1.0)
        throw runtime::Error("expected bits (0 or 1), found " + std::to_string(d[i]) +
                             " at position " + std::to_string(i + 1));
      bits[i] = d[i] != 0.0;
    }
    return bits;
  }
  static Value to(const BitRow& bits) {
    std::vector<double> d(bits.begin(), bits.end());
    return Value::row(std::move(d));
  }
};

template <class T>
struct Convert<std::optional<T>> {
  static std::optional<T> from(const Value& v) { return Convert<T>::from(v); }
  static Value to(const std::optional<T>& x) { return x ? Convert<T>::to(*x) : Value(); }
};

namespace detail {

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

template <class T>
struct IsTuple : std::false_type {};
template <class... T>
struct IsTuple<std::tuple<T...>> : std::true_type {};

template <class T>
using Plain = std::remove_cvref_t<T>;

template <class P>
Plain<P> argument(Args args, std::size_t i) {
  using T = Plain<P>;
  if (i >= args.size()) {
    if constexpr (IsOptional<T>::value) {
      return std::nullopt;
    } else {
      throw runtime::Error("Not enough input arguments: input " + std::to_string(i + 1) +
                           " is missing.");
    }
  } else {
    try {
      return Convert<T>::from(args[i]);
    } catch (const runtime::Error& e) {
      throw runtime::Error("input " + std::to_string(i + 1) + ": " + e.what());
    }
  }
}

template <class R>
Outputs results(R&& r) {
  using T = Plain<R>;
  if constexpr (IsTuple<T>::value) {
    return std::apply(
        [](auto&&... parts) {
          return Outputs{
              Convert<Plain<decltype(parts)>>::to(std::forward<decltype(parts)>(parts))...};
        },
        std::forward<R>(r));
  } else {
    return Outputs{Convert<T>::to(std::forward<R>(r))};
  }
}

template <class F, class R, class... P, std::size_t... I>
Operation makeTyped(F fn, std::index_sequence<I...>) {
  return [fn](Args args, int /*nargout*/) -> Outputs {
    if (args.size() > sizeof...(P))
      throw runtime::Error("Too many input arguments: at most " + std::to_string(sizeof...(P)) +
                           " are accepted.");
    // Braced initialisation converts the inputs left to right, so the first bad or missing
    // input is the one reported.
    std::tuple<Plain<P>...> converted{argument<P>(args, I)...};
    if constexpr (std::is_void_v<R>) {
      std::apply(fn, std::move(converted));
      return {};
    } else {
      return results(std::apply(fn, std::move(converted)));
    }
  };
}

template <class T>
struct Signature;
template <class R, class... P>
struct Signature<R (*)(P...)> {
  using Result = R;
  using Params = std::tuple<P...>;
};
template <class C, class R, class... P>
struct Signature<R (C::*)(P...) const> {
  using Result = R;
  using Params = std::tuple<P...>;
};
template <class F>
struct Signature : Signature<decltype(&F::operator())> {};

template <class F, class R, class Tuple>
struct Maker;
template <class F, class R, class... P>
struct Maker<F, R, std::tuple<P...>> {
  static Operation make(F fn) {
    return makeTyped<F, R, P...>(std::move(fn), std::index_sequence_for<P...>{});
  }
};

}  // namespace detail

// The by-name adapter of a typed function, function pointer or lambda.
template <class F>
Operation typed(F fn) {
  using Sig = detail::Signature<std::decay_t<F>>;
  return detail::Maker<std::decay_t<F>, typename Sig::Result, typename Sig::Params>::make(
      std::move(fn));
}

// Convenience: bind a typed function to a declared name of the library table; the line of the
// call is the line reported in run-time errors.
template <class F>
void bindTyped(Table& table, std::string_view name, F fn,
               std::source_location where = std::source_location::current()) {
  table.bind(name, typed(std::move(fn)), where);
}

}  // namespace kelvane::registry
