#include "instrument/io.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <optional>
#include <string>

#include "instrument/records_value.hpp"
#include "instrument/transport.hpp"

namespace kelvane::instrument {

using runtime::Value;

namespace {

// The array runtime's int32(): rounds half away from zero and saturates; NaN becomes 0.
double toInt32(double x) {
  if (std::isnan(x)) return 0;
  const double r = std::round(x);
  return std::clamp(r, static_cast<double>(std::numeric_limits<std::int32_t>::min()),
                    static_cast<double>(std::numeric_limits<std::int32_t>::max()));
}

void convertField(Value& record, const char* name) {
  if (!record.hasField(name)) return;
  for (std::size_t i = 0; i < record.numel(); ++i) {
    Value& f = record.field(name, i);
    if (!f.isReal()) continue;  // not numeric: the transport reports it
    auto d = f.toDoubles();
    for (auto& x : d)
      x = toInt32(x);
    f = Value::matrix(f.rows(), f.cols(), std::move(d)).withNumClass(runtime::NumClass::Int32);
  }
}

void convertSubRecord(Value& config, const char* name, std::initializer_list<const char*> fields) {
  if (!config.hasField(name)) return;
  for (std::size_t i = 0; i < config.numel(); ++i) {
    Value& sub = config.field(name, i);
    if (!sub.isRecord()) continue;
    for (const char* f : fields)
      convertField(sub, f);
  }
}

Status refused(std::string message) {
  return {status::kRefused, std::move(message)};
}

bool hasPath(const Value& v, const char* record, const char* field) {
  return v.hasField(record) && v.field(record).isRecord() && v.field(record).hasField(field);
}

// The address fields the transport needs for the connection kind, or what is missing.
std::optional<std::string> missingAddress(const Value& config, const std::string& type) {
  auto need = [&](const char* record, const char* field) -> std::optional<std::string> {
    if (hasPath(config, record, field)) return std::nullopt;
    return "The configuration has no " + std::string(record) + "." + field + " field.";
  };
  auto upper = type;
  for (auto& ch : upper)
    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  std::optional<std::string> m;
  if (upper == "TCPIP") {
    m = need("TCPIP", "address");
  } else if (upper == "RS232") {
    if (!(m = need("RS232", "port")) && !(m = need("RS232", "baudrate")))
      m = need("RS232", "handshake");
  } else if (upper == "GPIB") {
    if (!(m = need("GPIB", "board"))) m = need("GPIB", "primary");
  }
  return m;
}

std::optional<std::string> text(const Value& v) {
  if (v.isText()) return v.str();
  return std::nullopt;
}

}  // namespace

Value formatconfig(const Value& configIn) {
  if (!configIn.isRecord())
    throw runtime::Error("formatconfig: the configuration must be a record, got " +
                         configIn.kindName());
  Value out = configIn;
  convertSubRecord(out, "GPIB", {"board", "primary", "secondary"});
  convertSubRecord(out, "RS232", {"port", "baudrate"});
  convertSubRecord(out, "TCPIP", {"board"});
  return out;
}

Status hwIO(std::span<const Value> args) {
  try {
    if (args.size() < 2) return refused("hwIO needs an opcode and the configuration.");
    const Value& op = args[0];
    if (!op.isReal() || !op.isScalar() || op.toDouble() != std::trunc(op.toDouble()))
      return refused("hwIO: the opcode must be a whole number, got " + op.toString() + ".");
    const Value& cfg = args[1];
    if (!cfg.isRecord() || cfg.numel() != 1)
      return refused("hwIO: the configuration must be a record, got " + cfg.kindName() + ".");
    if (!cfg.hasField("type")) return refused("The configuration has no type field.");
    const Configuration config = configurationFromValue(cfg, MissingField::Default);
    if (auto m = missingAddress(cfg, config.type)) return refused(*m);

    const auto further = args.size() - 2;
    auto textArg = [&](std::size_t i) -> std::optional<std::string> {
      if (args.size() <= i) return std::nullopt;
      return text(args[i]);
    };
    switch (static_cast<int>(op.toDouble())) {
      case 1:
        return hwio::ping(config);
      case 2:
      case 3: {
        const auto command = textArg(2);
        if (!command)
          return refused(std::string("hwIO opcode ") +
                         (op.toDouble() == 2 ? "2 needs a command" : "3 needs a query") + " text.");
        return op.toDouble() == 2 ? hwio::send(config, *command) : hwio::query(config, *command);
      }
      case 4: {
        if (further < 5)
          return refused("hwIO opcode 4 needs data, markers, \"norm\", 1 and a file name.");
        if (!args[2].isNumeric() && !args[2].isEmpty())
          return refused("hwIO: the waveform data must be numeric, got " + args[2].kindName() +
                         ".");
        const auto data = args[2].toComplex();
        if (text(args[4]) != std::optional<std::string>("norm") || !args[5].isReal() ||
            !args[5].isScalar() || args[5].toDouble() != 1)
          return refused("hwIO: a download takes the scaling \"norm\" and 1.");
        const auto name = text(args[6]);
        if (!name) return refused("hwIO: the waveform file name must be a text.");
        const auto markers = packMarkers(args[3], data.size());
        return hwio::download(config, data, markers, *name);
      }
      case 5:
        return hwio::returnLocal(config);
      default:
        return refused("hwIO: unknown opcode " + op.toString() + " (1 to 5).");
    }
  } catch (const std::exception& e) {
    return refused(e.what());
  }
}

Status hwPing(const Configuration& config) {
  return hwio::ping(config);
}

Status hwSend(const Configuration& config, std::string_view command) {
  return hwio::send(config, command);
}

Status hwQuery(const Configuration& config, std::string_view query) {
  return hwio::query(config, query);
}

Status hwDownload(const Configuration& config, std::span<const std::complex<double>> data,
                  std::span<const std::uint8_t> markers, std::string_view filename,
                  std::optional<double> peak) {
  return hwio::download(config, data, markers, filename, peak);
}

Status hwReturnLocal(const Configuration& config) {
  return hwio::returnLocal(config);
}

Status VerifyComm(const Configuration& config) {
  return hwPing(config);
}

std::vector<std::uint8_t> packMarkers(const Value& markers, std::size_t samples) {
  if (markers.isEmpty() && samples == 0) return {};
  if (!markers.isReal() || markers.rows() != 2 || markers.cols() != samples)
    throw runtime::Error("the markers must be a 2 x " + std::to_string(samples) +
                         " matrix of 0 and 1, got " + markers.kindName() + " of " +
                         std::to_string(markers.rows()) + " x " + std::to_string(markers.cols()));
  const auto d = markers.realData();  // column-major: marker 1, marker 2 of each sample
  std::vector<std::uint8_t> packed(samples);
  for (std::size_t i = 0; i < samples; ++i)
    packed[i] = static_cast<std::uint8_t>((d[2 * i] != 0 ? 1 : 0) | (d[2 * i + 1] != 0 ? 2 : 0));
  return packed;
}

Value unpackMarkers(std::span<const std::uint8_t> markers) {
  std::vector<double> d(2 * markers.size());
  for (std::size_t i = 0; i < markers.size(); ++i) {
    d[2 * i] = markers[i] & 1;
    d[2 * i + 1] = (markers[i] >> 1) & 1;
  }
  return Value::matrix(2, markers.size(), std::move(d));
}

}  // namespace kelvane::instrument
