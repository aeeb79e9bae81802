// By-name entries of the baseband filter and its Parks-McClellan design: Qarn_BasebandFilter,
// FilterCoeff_IS95_Std, FilterCoeff_IS95_Acp, remez2, remezfrf, firchk and the exchange core
// remezmex.
#include <algorithm>
#include <complex>
#include <optional>
#include <string>
#include <vector>

#include "library/binders.hpp"
#include "library/convert_synthesis.hpp"
#include "registry/adapter.hpp"
#include "synthesis/baseband_filter.hpp"
#include "synthesis/filter_design.hpp"

namespace kelvane::library {

namespace {

using runtime::Kind;
namespace syn = kelvane::synthesis;

[[noreturn]] void notEnoughInputs() {
  throw runtime::Error("Not enough input arguments.");
}

[[noreturn]] void tooManyInputs() {
  throw runtime::Error("Too many input arguments.");
}

syn::FilterKind filterTypeArgument(const Value& v) {
  if (auto kind = filterKindOf(v)) return *kind;
  throw runtime::Error("filterType must be a number or a text, got " + v.kindName());
}

Value qarnBasebandFilter(const Value& frame, double oversampleRatio, const Value& filterType) {
  if (!frame.isEmpty() && (!frame.isNumeric() || !frame.isVector()))
    throw runtime::Error("frame must be a numeric vector, got " + frame.kindName() + " " +
                         std::to_string(frame.rows()) + "x" + std::to_string(frame.cols()));
  const bool real = !frame.isComplex();
  const std::vector<std::complex<double>> samples =
      frame.isEmpty() ? std::vector<std::complex<double>>{} : frame.toComplex();
  std::vector<std::complex<double>> out =
      syn::Qarn_BasebandFilter(samples, oversampleRatio, filterTypeArgument(filterType));
  if (!real) return Value::complexRow(std::move(out));
  // A real frame through a real filter stays real.
  std::vector<double> re(out.size());
  std::transform(out.begin(), out.end(), re.begin(), [](auto z) { return z.real(); });
  return Value::row(std::move(re));
}

std::vector<double> numbers(const Value& v) {
  if (v.isEmpty() && !v.isText() && !v.isList()) return {};
  return v.toDoubles();
}

// remez2(order, ff, aa, [{lgrid}], [weights], [type]) -> h, err.
Outputs remez2Entry(Args args, int nargout) {
  if (args.size() < 3) notEnoughInputs();
  if (args.size() > 6) tooManyInputs();
  if (nargout > 2)
    throw runtime::Error("remez2: the design record (third output) is not supported");

  const double order = args[0].toDouble();
  const std::vector<double> ff = numbers(args[1]);
  syn::Remez2Options options;
  std::vector<Value> optional(args.begin() + 3, args.end());
  // A list supplies the grid density as its first element and is removed.
  if (auto it =
          std::find_if(optional.begin(), optional.end(), [](const Value& v) { return v.isList(); });
      it != optional.end()) {
    if (it->items().empty()) throw runtime::Error("remez2: the grid density list is empty");
    options.gridDensity = it->items().front().toDouble();
    optional.erase(it);
  }
  auto typeOf = [](const Value& v) -> std::string {
    if (v.isText()) return v.str();
    if (v.isEmpty()) return {};
    throw runtime::Error("remez2: the filter type must be a text, got " + v.kindName());
  };
  if (!optional.empty()) {
    if (optional[0].isText()) {
      options.type = optional[0].str();
    } else {
      options.weights = numbers(optional[0]);
      if (optional.size() > 1) options.type = typeOf(optional[1]);
    }
  }
  if (options.type.empty()) options.type = "f";

  const Value& aa = args[2];
  if (aa.isText() || aa.isList()) {
    syn::remez2CheckArguments(order, ff, options);
    throw runtime::Error(
        "remez2: response functions given by name are not supported; give the amplitudes as "
        "numbers");
  }
  syn::Remez2Result r = syn::remez2(order, ff, numbers(aa), options);
  return {Value::row(std::move(r.h)), Value::scalar(r.err)};
}

// remezfrf(N, F, GF, W, A, diff_flag) -> DH, DW; remezfrf("defaults", ...) -> "even".
Outputs remezfrfEntry(Args args, int /*nargout*/) {
  if (args.size() == 2 && args[0].isText() && args[0].str() == "defaults")
    return {Value::text("even")};
  if (args.size() < 5) notEnoughInputs();
  const bool diffFlag = args.size() >= 6 && args[5].toDouble() != 0;
  const double n = args[0].isEmpty() ? 0 : args[0].toDouble();
  syn::DesiredResponse r = syn::remezfrf(n, numbers(args[1]), numbers(args[2]), numbers(args[3]),
                                         numbers(args[4]), diffFlag);
  return {Value::row(std::move(r.dh)), Value::row(std::move(r.dw))};
}

// firchk(n, a, exception) -> n, msg1, msg2.
Outputs firchkEntry(Args args, int /*nargout*/) {
  if (args.size() < 2) notEnoughInputs();
  const Value& n = args[0];
  const std::vector<double> a = numbers(args[1]);
  const bool exception = args.size() >= 3 && !args[2].isEmpty() && args[2].toDouble() != 0;
  if (!n.isReal() || !n.isScalar())
    return {n, Value::text(std::string(syn::kFirchkOrderMessage)), Value::text("")};
  syn::FirchkResult r = syn::firchk(n.toDouble(), a, exception);
  return {Value::scalar(r.order), Value::text(r.msg1), Value::text(r.msg2)};
}

// remezmex(nfilt, edges, grid, des, wt, symmetry) -> h, err, iext.
Outputs remezmexEntry(Args args, int nargout) {
  if (args.size() != 6)
    throw runtime::Error(
        "remezmex: six inputs expected (nfilt, edges, grid, des, wt, symmetry), got " +
        std::to_string(args.size()));
  if (nargout > 3) throw runtime::Error("remezmex: at most three outputs (h, err, iext)");
  const int nfilt = Convert<int>::from(args[0]);
  const int symmetry = Convert<int>::from(args[5]);
  syn::RemezResult r = syn::remezmex(nfilt, numbers(args[1]), numbers(args[2]), numbers(args[3]),
                                     numbers(args[4]), symmetry);
  std::vector<double> iext(r.iext.begin(), r.iext.end());
  return {Value::row(std::move(r.h)), Value::scalar(r.err), Value::row(std::move(iext))};
}

}  // namespace

void bindFilter(Library& lib) {
  Table& ops = lib.operations();
  bindTyped(ops, "Qarn_BasebandFilter", qarnBasebandFilter);
  bindTyped(ops, "FilterCoeff_IS95_Std",
            [](double oversampleRatio) { return syn::FilterCoeff_IS95_Std(oversampleRatio); });
  bindTyped(ops, "FilterCoeff_IS95_Acp",
            [](double oversampleRatio) { return syn::FilterCoeff_IS95_Acp(oversampleRatio); });
  ops.bind("remez2", remez2Entry);
  ops.bind("remezfrf", remezfrfEntry);
  ops.bind("firchk", firchkEntry);
  ops.bind("remezmex", remezmexEntry);
}

}  // namespace kelvane::library
