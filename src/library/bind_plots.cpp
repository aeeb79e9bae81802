// The plot windows and the plotting verbs by name: the six plot operations from the plots'
// table, KR_Zoom and KR_Rotate, eyediagram, scatterplot, subplot, title, xlabel, ylabel, clf,
// waterfall and freqzplot.
#include <cmath>
#include <string>
#include <vector>

#include "library/arguments.hpp"
#include "library/binders.hpp"
#include "plots/diagrams.hpp"
#include "plots/figure.hpp"
#include "plots/plot_table.hpp"
#include "plots/verbs.hpp"
#include "toolkit/objects.hpp"

namespace kelvane::library {

namespace pl = kelvane::plots;
namespace tk = kelvane::toolkit;

namespace {

// The inputs of a plot operation in the order of its row: (hParent, label, then each 'n' a
// number and 'w' the waveform).
pl::PlotCall plotCall(const pl::PlotWindowKind& kind, Args args) {
  pl::PlotCall call;
  const std::string op(kind.operation);
  if (!absent(args, 0)) call.parent = args[0];
  if (!absent(args, 1)) {
    if (!args[1].isText()) throw runtime::Error(op + ": the label must be a text");
    call.label = args[1].str();
  }
  for (std::size_t i = 0; i < kind.inputs.size(); ++i) {
    const std::size_t at = i + 2;
    if (kind.inputs[i] == 'w') {
      if (!absent(args, at)) {
        requireVector(args[at], op.c_str());
        if (args[at].isComplex()) {
          call.wave = args[at].complexData();
        } else {
          call.owned = args[at].toComplex();
          call.wave = call.owned;
        }
      }
      continue;
    }
    if (absent(args, at)) {
      call.numbers.emplace_back();
    } else {
      if (!args[at].isReal() || args[at].numel() != 1)
        throw runtime::Error(op + ": input " + std::to_string(at + 1) + " must be a number");
      call.numbers.emplace_back(args[at].toDouble());
    }
  }
  return call;
}

// A signal as eyediagram and scatterplot take it: a vector is one column.
pl::SignalColumns signalOf(const Value& x, const char* op) {
  if (!x.isNumeric() && x.kind() != runtime::Kind::Empty)
    throw runtime::Error(std::string(op) + ": X must be numeric, not " + x.kindName());
  pl::SignalColumns s;
  s.values = x.toComplex();
  s.complex = x.isComplex();
  const bool vector = x.rows() == 1 || x.cols() == 1;
  s.rows = vector ? x.numel() : x.rows();
  s.columns = x.numel() == 0 ? 0 : vector ? 1 : x.cols();
  return s;
}

double numberOr(Args args, std::size_t i, double fallback) {
  return absent(args, i) ? fallback : args[i].toDouble();
}

std::string styleOr(Args args, std::size_t i, const char* fallback) {
  if (absent(args, i)) return fallback;
  if (!args[i].isText()) throw runtime::Error("the line style must be a text");
  return args[i].str();
}

Outputs eyediagramEntry(Args args, int) {
  if (args.empty()) throw runtime::Error("Not enough input arguments: eyediagram needs X and N.");
  return {pl::eyediagram(signalOf(args[0], "eyediagram"), numberOr(args, 1, NAN),
                         numberOr(args, 2, 1), numberOr(args, 3, 0), styleOr(args, 4, "b-"),
                         args.size() > 5 ? std::optional<Value>(args[5]) : std::nullopt)};
}

Outputs scatterplotEntry(Args args, int) {
  if (args.empty()) throw runtime::Error("Not enough input arguments: scatterplot needs X.");
  return {pl::scatterplot(signalOf(args[0], "scatterplot"), numberOr(args, 1, 1),
                          numberOr(args, 2, 0), styleOr(args, 3, "b."),
                          args.size() > 4 ? std::optional<Value>(args[4]) : std::nullopt)};
}

// subplot(m, n, p) or subplot(mnp), three digits.
Outputs subplotEntry(Args args, int) {
  int m = 0, n = 0, p = 0;
  if (args.size() == 1) {
    const int mnp = Convert<int>::from(args[0]);
    m = mnp / 100, n = mnp / 10 % 10, p = mnp % 10;
  } else if (args.size() == 3) {
    m = Convert<int>::from(args[0]), n = Convert<int>::from(args[1]),
    p = Convert<int>::from(args[2]);
  } else {
    throw runtime::Error("subplot takes (m, n, p) or (mnp)");
  }
  return {pl::subplot(m, n, p)};
}

// title(text), title(axes, text); the same for xlabel and ylabel.
registry::Operation labelEntry(const char* property, const char* op) {
  return [property, op](Args args, int) -> Outputs {
    std::optional<Value> axes;
    std::size_t at = 0;
    if (!args.empty() && args[0].isHandle()) axes = args[at++];
    if (at >= args.size() || !(args[at].isText() || args[at].isEmpty()))
      throw runtime::Error(std::string(op) + " needs a text");
    if (args.size() > at + 1)
      throw runtime::Error(std::string(op) + " takes a text and, first, optionally axes");
    return {pl::label(property, args[at].isText() ? args[at].str() : "", axes)};
  };
}

// clf, clf(figure), clf("reset"), clf(figure, "reset").
Outputs clfEntry(Args args, int) {
  std::optional<Value> figure;
  bool reset = false;
  for (const Value& a : args) {
    if (a.isText() && a.str() == "reset")
      reset = true;
    else if (a.isHandle())
      figure = a;
    else
      throw runtime::Error("clf takes a figure handle and \"reset\"");
  }
  return {pl::clf(figure, reset)};
}

// The rows of Z (m x n) in order; x of n values and y of m values (a matrix gives its first
// row or column).
Outputs waterfallEntry(Args args, int) {
  if (args.size() != 1 && args.size() != 3)
    throw runtime::Error("waterfall takes (Z) or (X, Y, Z)");
  const Value& z = args.back();
  if (!z.isReal() || z.numel() == 0) throw runtime::Error("waterfall: Z must be a real matrix");
  const std::size_t m = z.rows(), n = z.cols();
  std::vector<double> rowMajor(m * n), x(n), y(m);
  for (std::size_t r = 0; r < m; ++r)
    for (std::size_t c = 0; c < n; ++c)
      rowMajor[r * n + c] = z.realData()[c * m + r];
  for (std::size_t c = 0; c < n; ++c)
    x[c] = static_cast<double>(c + 1);
  for (std::size_t r = 0; r < m; ++r)
    y[r] = static_cast<double>(r + 1);
  if (args.size() == 3) {
    const Value& xs = args[0];
    const Value& ys = args[1];
    if (xs.numel() == n)
      x = xs.toDoubles();
    else if (xs.rows() == m && xs.cols() == n)
      for (std::size_t c = 0; c < n; ++c)
        x[c] = xs.realData()[c * m];
    else
      throw runtime::Error("waterfall: X must have one value per column of Z");
    if (ys.numel() == m)
      y = ys.toDoubles();
    else if (ys.rows() == m && ys.cols() == n)
      for (std::size_t r = 0; r < m; ++r)
        y[r] = ys.realData()[r];
    else
      throw runtime::Error("waterfall: Y must have one value per row of Z");
  }
  return {pl::waterfall(std::move(x), std::move(y), std::move(rowMajor))};
}

// freqzplot(h, w, s).
Outputs freqzplotEntry(Args args, int) {
  if (args.size() < 2) throw runtime::Error("Not enough input arguments: freqzplot needs h and w.");
  pl::FreqzPlotOptions o;
  if (args.size() > 2 && args[2].isRecord()) {
    const Value& s = args[2];
    auto textField = [&](const char* f, std::string& out) {
      if (s.hasField(f) && s.field(f).isText()) out = s.field(f).str();
    };
    textField("xunits", o.xunits);
    textField("yunits", o.yunits);
    textField("plot", o.plot);
  }
  pl::freqzplot(args[0].toComplex(), args[1].toDoubles(), o);
  return {};
}

}  // namespace

void bindPlots(Library& lib) {
  Table& ops = lib.operations();
  for (const pl::PlotWindowKind& kind : pl::plotWindowKinds())
    ops.bind(kind.operation, [&kind](Args args, int) -> Outputs {
      return {kind.build(kind, plotCall(kind, args))};
    });
  bindTyped(ops, "KR_Zoom", [] { pl::KR_Zoom(); });
  bindTyped(ops, "KR_Rotate", [] { pl::KR_Rotate(); });
  ops.bind("eyediagram", eyediagramEntry);
  ops.bind("scatterplot", scatterplotEntry);
  ops.bind("subplot", subplotEntry);
  ops.bind("title", labelEntry("Title", "title"));
  ops.bind("xlabel", labelEntry("XLabel", "xlabel"));
  ops.bind("ylabel", labelEntry("YLabel", "ylabel"));
  ops.bind("clf", clfEntry);
  ops.bind("waterfall", waterfallEntry);
  ops.bind("freqzplot", freqzplotEntry);
}

}  // namespace kelvane::library
