#include "instrument/records_value.hpp"

#include <string>

namespace kelvane::instrument {

using runtime::Value;

namespace {

// Reads the fields of one record, naming each by its path in messages.
class FieldReader {
 public:
  FieldReader(const Value& v, std::string path, MissingField missing)
      : v_(v), path_(std::move(path)), missing_(missing) {
    if (!v.isRecord() || v.numel() != 1)
      throw runtime::Error(path_ + " must be a 1 x 1 record, got " + v.kindName());
  }

  void number(const char* name, double& out) const {
    const Value* f = find(name);
    if (!f) return;
    if (!f->isReal() || !f->isScalar())
      throw runtime::Error(where(name) + " must be a real number, got " + describe(*f));
    out = f->toDouble();
  }

  void optionalNumber(const char* name, std::optional<double>& out) const {
    if (!v_.hasField(name)) return;
    double x = 0;
    number(name, x);
    out = x;
  }

  void text(const char* name, std::string& out) const {
    const Value* f = find(name);
    if (!f) return;
    if (f->kind() == runtime::Kind::Empty) {
      out.clear();
      return;
    }
    if (!f->isText()) throw runtime::Error(where(name) + " must be a text, got " + describe(*f));
    out = f->str();
  }

  void optionalText(const char* name, std::string& out) const {
    if (v_.hasField(name)) text(name, out);
  }

  // A sub-record; nullopt when absent and defaults are allowed.
  std::optional<FieldReader> record(const char* name) const {
    const Value* f = find(name);
    if (!f) return std::nullopt;
    return FieldReader(*f, where(name), missing_);
  }

 private:
  const Value& v_;
  std::string path_;
  MissingField missing_;

  std::string where(const char* name) const { return path_ + "." + name; }

  const Value* find(const char* name) const {
    if (v_.hasField(name)) return &v_.field(name);
    if (missing_ == MissingField::Error) throw runtime::Error(where(name) + " is missing");
    return nullptr;
  }

  static std::string describe(const Value& f) {
    if (f.isNumeric() && !f.isScalar())
      return f.kindName() + " of " + std::to_string(f.rows()) + " x " + std::to_string(f.cols());
    return f.kindName();
  }
};

}  // namespace

Value toValue(const Configuration& c) {
  Value rs232 = Value::record({{"port", Value::scalar(c.RS232.port)},
                               {"baudrate", Value::scalar(c.RS232.baudrate)},
                               {"handshake", Value::text(c.RS232.handshake)}});
  if (!c.RS232.device.empty()) rs232.setField("device", Value::text(c.RS232.device));
  return Value::record({
      {"type", Value::text(c.type)},
      {"GPIB", Value::record({{"board", Value::scalar(c.GPIB.board)},
                              {"primary", Value::scalar(c.GPIB.primary)},
                              {"secondary", Value::scalar(c.GPIB.secondary)}})},
      {"RS232", std::move(rs232)},
      {"TCPIP", Value::record({{"address", Value::text(c.TCPIP.address)},
                               {"board", Value::scalar(c.TCPIP.board)}})},
      {"BBGtype", Value::text(c.BBGtype)},
      {"LastParameterFilename", Value::text(c.LastParameterFilename)},
  });
}

Configuration configurationFromValue(const Value& v, MissingField missing) {
  Configuration c;
  const FieldReader r(v, "configuration", missing);
  r.text("type", c.type);
  if (auto g = r.record("GPIB")) {
    g->number("board", c.GPIB.board);
    g->number("primary", c.GPIB.primary);
    g->number("secondary", c.GPIB.secondary);
  }
  if (auto s = r.record("RS232")) {
    s->number("port", c.RS232.port);
    s->number("baudrate", c.RS232.baudrate);
    s->text("handshake", c.RS232.handshake);
    s->optionalText("device", c.RS232.device);
  }
  if (auto t = r.record("TCPIP")) {
    t->text("address", c.TCPIP.address);
    t->number("board", c.TCPIP.board);
  }
  r.text("BBGtype", c.BBGtype);
  r.text("LastParameterFilename", c.LastParameterFilename);
  return c;
}

Value toValue(const SigGenSettings& s) {
  Value v = Value::record({
      {"Title", Value::text(s.Title)},
      {"Frequency", Value::scalar(s.Frequency)},
      {"Amplitude", Value::scalar(s.Amplitude)},
      {"SamplingRate", Value::scalar(s.SamplingRate)},
      {"BBfilter", Value::scalar(s.BBfilter)},
      {"Scaling", Value::scalar(s.Scaling)},
      {"ModAtten", Value::scalar(s.ModAtten)},
      {"RFblanking", Value::scalar(s.RFblanking)},
      {"ALC", Value::scalar(s.ALC)},
      {"ArbRefSource", Value::scalar(s.ArbRefSource)},
      {"MarkerPolarity", Value::scalar(s.MarkerPolarity)},
  });
  if (s.ReconFilter) v.setField("ReconFilter", Value::scalar(*s.ReconFilter));
  return v;
}

SigGenSettings sigGenSettingsFromValue(const Value& v, MissingField missing) {
  SigGenSettings s;
  const FieldReader r(v, "SigGenSettings", missing);
  r.text("Title", s.Title);
  r.number("Frequency", s.Frequency);
  r.number("Amplitude", s.Amplitude);
  r.number("SamplingRate", s.SamplingRate);
  r.number("BBfilter", s.BBfilter);
  r.number("Scaling", s.Scaling);
  r.number("ModAtten", s.ModAtten);
  r.number("RFblanking", s.RFblanking);
  r.number("ALC", s.ALC);
  r.number("ArbRefSource", s.ArbRefSource);
  r.number("MarkerPolarity", s.MarkerPolarity);
  r.optionalNumber("ReconFilter", s.ReconFilter);
  return s;
}

Value toValue(const SequenceElement& e) {
  return Value::record({
      {"waveformName", Value::text(e.waveformName)},
      {"repetitions", Value::scalar(e.repetitions)},
      {"marker1", Value::scalar(e.marker1)},
      {"marker2", Value::scalar(e.marker2)},
  });
}

namespace {
SequenceElement readElement(const Value& v, std::size_t index) {
  SequenceElement e;
  const FieldReader r(v, "sequenceElements(" + std::to_string(index + 1) + ")",
                      MissingField::Error);
  r.text("waveformName", e.waveformName);
  r.number("repetitions", e.repetitions);
  r.number("marker1", e.marker1);
  r.number("marker2", e.marker2);
  return e;
}
}  // namespace

SequenceElement sequenceElementFromValue(const Value& v) {
  return readElement(v, 0);
}

Value toValue(std::span<const SequenceElement> elements) {
  Value v = Value::recordArray({"waveformName", "repetitions", "marker1", "marker2"}, 0);
  for (const auto& e : elements)
    v.appendRecord(toValue(e));
  return v;
}

std::vector<SequenceElement> sequenceElementsFromValue(const Value& v) {
  std::vector<SequenceElement> out;
  if (v.isList()) {
    for (std::size_t i = 0; i < v.items().size(); ++i)
      out.push_back(readElement(v.items()[i], i));
    return out;
  }
  if (v.isRecord()) {
    for (std::size_t i = 0; i < v.numel(); ++i)
      out.push_back(readElement(v.element(i), i));
    return out;
  }
  if (v.isEmpty()) return out;
  throw runtime::Error("sequenceElements must be a list of records, got " + v.kindName());
}

}  // namespace kelvane::instrument
