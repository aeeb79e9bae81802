// The generic signal routines by name, for the command-line tool and the desktop alike: freqz
// (drawing through freqzplot when no output is asked for), psdoptions, datawrap, buffer,
// signal/private/db and signal/private/dividenowarn.
#include <string>
#include <vector>

#include "library/arguments.hpp"
#include "library/binders.hpp"
#include "plots/signal.hpp"

namespace kelvane::library {

namespace pl = kelvane::plots;
using Complex = std::complex<double>;

namespace {

std::vector<Complex> numeric(const Value& v, const char* op, const char* what) {
  if (!v.isNumeric() && v.kind() != runtime::Kind::Empty)
    throw runtime::Error(std::string(op) + ": " + what + " must be numeric, not " + v.kindName());
  return v.toComplex();
}

// A result of the shape (rows x cols) of `like`: real when every imaginary part is 0 and the
// inputs were real.
Value shaped(std::size_t rows, std::size_t cols, std::vector<Complex> z, bool real) {
  if (real) {
    std::vector<double> re(z.size());
    for (std::size_t i = 0; i < z.size(); ++i)
      re[i] = z[i].real();
    return Value::matrix(rows, cols, std::move(re));
  }
  return Value::complexMatrix(rows, cols, std::move(z));
}

std::vector<pl::PsdArgument> psdArguments(Args args, std::size_t from, const char* op) {
  std::vector<pl::PsdArgument> out;
  for (std::size_t i = from; i < args.size(); ++i) {
    if (args[i].isText()) {
      out.emplace_back(args[i].str());
    } else if (args[i].isReal() || args[i].kind() == runtime::Kind::Empty) {
      out.emplace_back(args[i].isEmpty() ? std::vector<double>{} : args[i].toDoubles());
    } else {
      throw runtime::Error(std::string(op) + ": input " + std::to_string(i + 1) +
                           " must be a number or a word, not " + args[i].kindName());
    }
  }
  return out;
}

// The options record freqz returns for freqzplot.
Value freqzRecord(const pl::FreqzResult& r, const pl::PsdOptions& o) {
  return Value::record({{"plot", Value::text("both")},
                        {"fvflag", Value::scalar(r.atGivenFrequencies ? 1 : 0)},
                        {"yunits", Value::text("db")},
                        {"xunits", Value::text(r.hertz ? "Hz" : "rad/sample")},
                        {"Fs", o.fs ? Value::scalar(*o.fs) : Value()}});
}

// freqz(b, a, n | w, "whole", Fs) -> [h, w, s]; with no output asked for, freqzplot draws it.
Outputs freqzEntry(Args args, int nargout) {
  if (args.empty()) throw runtime::Error("Not enough input arguments: freqz needs b.");
  if (nargout > 3) throw runtime::Error("freqz: at most 3 outputs (h, w, s).");
  const auto b = numeric(args[0], "freqz", "b");
  const auto a = absent(args, 1) ? std::vector<Complex>{1.0} : numeric(args[1], "freqz", "a");
  const pl::PsdParse parsed = pl::psdoptions({}, psdArguments(args, 2, "freqz"));
  if (!parsed.msg.empty()) throw runtime::Error("freqz: " + parsed.msg);
  const pl::FreqzResult r = pl::freqz(b, a, parsed.options);
  Outputs out = {Value::complexColumn(r.h), Value::column(r.w), freqzRecord(r, parsed.options)};
  if (nargout == 0) {
    registry::call("freqzplot", out, 0);
    return {};
  }
  out.resize(static_cast<std::size_t>(std::max(nargout, 1)));
  return out;
}

// psdoptions(isreal_x, options, ...) -> [options, msg].
Outputs psdoptionsEntry(Args args, int) {
  if (args.empty()) throw runtime::Error("Not enough input arguments: psdoptions needs isreal_x.");
  const bool real = args[0].toDouble() != 0;
  pl::PsdOptions defaults;
  defaults.whole = !real;
  Value record = absent(args, 1) ? Value::record() : args[1];
  if (!record.isRecord()) throw runtime::Error("psdoptions: options must be a record");
  if (record.hasField("nfft") && !record.field("nfft").isEmpty())
    defaults.nfft = record.field("nfft").toDoubles();
  if (record.hasField("Fs") && !record.field("Fs").isEmpty())
    defaults.fs = record.field("Fs").toDouble();
  if (record.hasField("range") && record.field("range").isText())
    defaults.whole =
        record.field("range").str() == "whole" || record.field("range").str() == "twosided";
  const pl::PsdParse p = pl::psdoptions(defaults, psdArguments(args, 2, "psdoptions"));
  record.setField("nfft", p.options.nfft.size() == 1 ? Value::scalar(p.options.nfft[0])
                                                     : Value::row(p.options.nfft));
  record.setField("Fs", p.options.fs ? Value::scalar(*p.options.fs) : Value());
  record.setField("range", Value::text(p.options.whole ? "whole" : "half"));
  return {record, Value::text(p.msg)};
}

// datawrap(x, n): x wrapped modulo n, a row or column as x is.
Outputs datawrapEntry(Args args, int) {
  if (args.size() < 2) throw runtime::Error("Not enough input arguments: datawrap needs x and n.");
  const auto n = Convert<std::size_t>::from(args[1]);
  requireVector(args[0], "datawrap");
  const auto y = pl::datawrap(numeric(args[0], "datawrap", "x"), n);
  const bool row = args[0].rows() == 1 && args[0].cols() > 1;
  return {shaped(row ? 1 : n, row ? n : 1, y, !args[0].isComplex())};
}

// buffer(x, n, p, opt) -> [y, z, opt]: frames of n samples, overlapping by p > 0 or skipping
// -p; opt holds the initial conditions, the initial skip, or "nodelay".
Outputs bufferEntry(Args args, int nargout) {
  if (args.size() < 2) throw runtime::Error("Not enough input arguments: buffer needs x and n.");
  requireVector(args[0], "buffer");
  const auto x = numeric(args[0], "buffer", "x");
  const auto n = Convert<std::size_t>::from(args[1]);
  const long p = absent(args, 2) ? 0 : Convert<long>::from(args[2]);
  pl::BufferStart start;
  if (args.size() > 3 && args[3].isText()) {
    if (args[3].str() != "nodelay")
      throw runtime::Error("buffer: the option must be \"nodelay\", not \"" + args[3].str() + "\"");
    start.nodelay = true;
  } else if (!absent(args, 3)) {
    if (p < 0)
      start.skip = Convert<std::size_t>::from(args[3]);
    else
      start.initial = numeric(args[3], "buffer", "the initial conditions");
  }
  const pl::Buffered b = pl::buffer(x, n, p, start, nargout >= 2);
  const bool real = !args[0].isComplex() && !(args.size() > 3 && args[3].isComplex());
  Outputs out = {shaped(b.rows, b.columns, b.y, real), shaped(b.z.size(), 1, b.z, real)};
  if (p > 0)
    out.push_back(shaped(b.finalOverlap.size(), 1, b.finalOverlap, real));
  else
    out.push_back(Value::scalar(static_cast<double>(b.finalSkip)));
  out.resize(static_cast<std::size_t>(std::clamp(nargout, 1, 3)));
  return out;
}

// db(x), db(x, "power" | "voltage"), db(x, R), db(x, "voltage", R).
Outputs dbEntry(Args args, int) {
  if (args.empty()) throw runtime::Error("Not enough input arguments: db needs x.");
  pl::DbKind kind = pl::DbKind::Voltage;
  double ohms = 1;
  std::size_t next = 1;
  if (args.size() > 1 && args[1].isText()) {
    const std::string& k = args[1].str();
    if (k != "power" && k != "voltage")
      throw runtime::Error("db: the signal type must be \"power\" or \"voltage\", not \"" + k +
                           "\"");
    kind = k == "power" ? pl::DbKind::Power : pl::DbKind::Voltage;
    next = 2;
  }
  if (args.size() > next) {
    if (kind == pl::DbKind::Power)
      throw runtime::Error("db: a resistance applies to voltages only");
    ohms = args[next].toDouble();
  }
  const auto d = pl::db(numeric(args[0], "db", "x"), kind, ohms);
  return {Value::matrix(args[0].rows(), args[0].cols(), d)};
}

// dividenowarn(num, den): element-wise, a scalar applying to every element.
Outputs dividenowarnEntry(Args args, int) {
  if (args.size() < 2)
    throw runtime::Error("Not enough input arguments: dividenowarn needs num and den.");
  const auto q = pl::dividenowarn(numeric(args[0], "dividenowarn", "num"),
                                  numeric(args[1], "dividenowarn", "den"));
  const Value& shape = args[0].numel() >= args[1].numel() ? args[0] : args[1];
  return {shaped(shape.rows(), shape.cols(), q, !args[0].isComplex() && !args[1].isComplex())};
}

}  // namespace

void bindPlotsCore(Library& lib) {
  Table& ops = lib.operations();
  ops.bind("freqz", freqzEntry);
  ops.bind("psdoptions", psdoptionsEntry);
  ops.bind("datawrap", datawrapEntry);
  ops.bind("buffer", bufferEntry);
  ops.bind("signal/private/db", dbEntry);
  ops.bind("signal/private/dividenowarn", dividenowarnEntry);
}

}  // namespace kelvane::library
