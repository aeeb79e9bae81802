#include "simulator/instrument_model.hpp"

#include <immintrin.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <tuple>
#include <utility>

namespace kelvane::simulator {

namespace {

constexpr std::size_t kErrorQueueLength = 30;
// The command log keeps the newest messages: at most this many, of at most kCommandLogBytes in
// all, each at most kCommandEntryBytes of the message (escaped, up to 4 bytes a byte) and its
// length. A test tool that keeps every byte it was sent is the first thing to run out of memory.
constexpr std::size_t kCommandLogLength = 10000;
constexpr std::size_t kCommandLogBytes = 1u << 20;
constexpr std::size_t kCommandEntryBytes = 1024;
constexpr std::string_view kIdentification = "Kelvane,Q7710K simulator,SIM000001,0.1.0";

std::string upperCase(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string_view trimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  return s;
}

void expectCount(const std::vector<Param>& params, std::size_t n) {
  if (params.size() < n) raise(-109);
  if (params.size() > n) raise(-108);
}

const std::string& stringParam(const Param& p) {
  if (p.kind != Param::Kind::String) raise(-104);
  return p.text;
}

double ranged(double x, double lo, double hi) {
  if (x < lo || x > hi) raise(-222);
  return x;
}

long integerParam(const Param& p) {
  const double x = numberValue(p, Unit::None);
  if (x != std::floor(x) || std::fabs(x) > 2147483647.0) raise(-224);
  return static_cast<long>(x);
}

bool near(double a, double b) {
  return std::fabs(a - b) <= 1e-9 * std::fabs(b);
}

// A frequency choice given as a keyword or a number with its unit ("2.1MHz", "250.0khz").
double choiceFrequency(const Param& p) {
  try {
    return numberValue(p, Unit::Hertz);
  } catch (const ScpiError& e) {
    if (e.code == -104) raise(-224);
    throw;
  }
}

struct FileRef {
  std::string memory;  // upper case: WFM1, ARBI, MKR1, SEQ
  std::string name;
};

// "WFM1:traffic" -> {WFM1, traffic}. File names are printable ASCII without double quotes.
FileRef fileRef(const Param& p) {
  const std::string& text = stringParam(p);
  const auto colon = text.find(':');
  if (colon == std::string::npos) raise(-257);
  FileRef ref{upperCase(text.substr(0, colon)), text.substr(colon + 1)};
  if (ref.name.empty()) raise(-257);
  for (char c : ref.name)
    if (c < 0x20 || c > 0x7E || c == '"') raise(-257);
  return ref;
}

// Thrown for a command that the fail fault makes fail.
struct InjectedFailure {};

bool isWaveformMemory(const std::string& memory) {
  return memory == "WFM1" || memory == "ARBI";
}

std::string onOff(bool b) {
  return b ? "1" : "0";
}

}  // namespace

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 0x20 && u < 0x7F) || c == '\t') {
      out.push_back(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", u);
      out += buf;
    }
  }
  return out;
}

Instrument::Instrument(std::size_t memorySamples, std::function<void(const std::string&)> observer)
    : observer_(std::move(observer)), capacity_(memorySamples) {}

void Instrument::add(std::vector<Command>& t, const char* header, Handler set, Handler query,
                     bool diagnostic) {
  t.push_back(Command{HeaderPattern(header), set, query, diagnostic});
}

// The ARB on or off and the waveform or sequence it plays.
void Instrument::addArbSelectionCommands(std::vector<Command>& t) {
  using Self = Instrument;
  add(
      t, "[SOURce]:RADio:ARB:[STATe]",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        s.states_.arb = booleanValue(c.params[0]);
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = onOff(s.states_.arb);
      });
  add(
      t, "[SOURce]:RADio:ARB:WAVeform",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        const FileRef ref = fileRef(c.params[0]);
        if (ref.memory == "SEQ") {
          if (!s.sequences_.count(ref.name)) raise(-256);
          s.selected_ = Selection{true, ref.name};
        } else if (isWaveformMemory(ref.memory)) {
          if (!s.waveforms_.count(ref.name)) raise(-256);
          s.selected_ = Selection{false, ref.name};
        } else {
          raise(-256);
        }
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        if (!s.selected_)
          c.reply = "\"\"";
        else
          c.reply = std::string("\"") + (s.selected_->sequence ? "SEQ:" : "WFM1:") +
                    s.selected_->name + "\"";
      });
}

// Sequence definitions: a list of stored waveforms, each with repetitions and markers.
void Instrument::addArbSequenceCommands(std::vector<Command>& t) {
  using Self = Instrument;
  add(
      t, "[SOURce]:RADio:ARB:SEQuence",
      [](Self& s, Call& c) {
        if (c.params.size() < 5 || (c.params.size() - 1) % 4 != 0) raise(-109);
        const FileRef seq = fileRef(c.params[0]);
        if (seq.memory != "SEQ") raise(-257);
        std::vector<Element> elements;
        for (std::size_t i = 1; i < c.params.size(); i += 4) {
          Element e;
          const FileRef wfm = fileRef(c.params[i]);
          e.repetitions = integerParam(c.params[i + 1]);
          e.marker1 = integerParam(c.params[i + 2]);
          e.marker2 = integerParam(c.params[i + 3]);
          if (e.repetitions < 1 || e.repetitions > 65535) raise(-222);
          if (e.marker1 < 0 || e.marker2 < 0) raise(-222);
          if (!isWaveformMemory(wfm.memory) || !s.waveforms_.count(wfm.name)) raise(-256);
          e.waveform = wfm.name;
          elements.push_back(std::move(e));
        }
        s.sequences_[seq.name] = std::move(elements);
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        const FileRef seq = fileRef(c.params[0]);
        const auto it = s.sequences_.find(seq.name);
        if (seq.memory != "SEQ" || it == s.sequences_.end()) raise(-256);
        std::string out;
        for (const Element& e : it->second) {
          if (!out.empty()) out += ',';
          out += "\"WFM1:" + e.waveform + "\"," + std::to_string(e.repetitions) + ',' +
                 std::to_string(e.marker1) + ',' + std::to_string(e.marker2);
        }
        c.reply = out;
      });
}

// The ARB's sample clock, run-time scaling, clock reference and reconstruction filter.
void Instrument::addArbClockCommands(std::vector<Command>& t) {
  using Self = Instrument;
  add(
      t, "[SOURce]:RADio:ARB:CLOCk:SRATe",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        s.settings_.sampleClockHz = ranged(numberValue(c.params[0], Unit::Hertz), 1, 100e6);
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = formatNumber(s.settings_.sampleClockHz);
      });
  add(
      t, "[SOURce]:RADio:ARB:RSCaling",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        s.settings_.runtimeScaling = ranged(numberValue(c.params[0], Unit::Percent), 1, 100);
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = formatNumber(s.settings_.runtimeScaling);
      });
  add(
      t, "[SOURce]:RADio:ARB:CLOCk:REFerence",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        if (isKeyword(c.params[0], "INTernal"))
          s.settings_.clockReferenceExternal = false;
        else if (isKeyword(c.params[0], "EXTernal"))
          s.settings_.clockReferenceExternal = true;
        else
          raise(-224);
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = s.settings_.clockReferenceExternal ? "EXT" : "INT";
      });
  add(
      t, "[SOURce]:RADio:ARB:RFILter",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        if (isKeyword(c.params[0], "THRough")) {
          s.settings_.reconstructionFilter = "Through";
          return;
        }
        const double f = choiceFrequency(c.params[0]);
        if (near(f, 250e3))
          s.settings_.reconstructionFilter = "250kHz";
        else if (near(f, 2.5e6))
          s.settings_.reconstructionFilter = "2.5MHz";
        else if (near(f, 8e6))
          s.settings_.reconstructionFilter = "8MHz";
        else
          raise(-224);
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = s.settings_.reconstructionFilter;
      });
}

// The ARB's marker routing: RF blanking and polarity.
void Instrument::addArbMarkersCommands(std::vector<Command>& t) {
  using Self = Instrument;
  add(
      t, "[SOURce]:RADio:ARB:MARKer:RFBLank",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        s.settings_.rfBlanking = booleanValue(c.params[0]);
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = onOff(s.settings_.rfBlanking);
      });
  add(
      t, "[SOURce]:RADio:ARB:MARKer:POLarity",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        if (isKeyword(c.params[0], "POSitive"))
          s.settings_.markerPolarityNegative = false;
        else if (isKeyword(c.params[0], "NEGative"))
          s.settings_.markerPolarityNegative = true;
        else
          raise(-224);
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = s.settings_.markerPolarityNegative ? "NEG" : "POS";
      });
}

// The RF carrier: frequency, power, ALC, modulation and output.
void Instrument::addRfCommands(std::vector<Command>& t) {
  using Self = Instrument;
  add(
      t, "[SOURce]:FREQuency:[CW|FIXed]",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        s.settings_.frequencyHz = ranged(numberValue(c.params[0], Unit::Hertz), 100e3, 6e9);
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = formatNumber(s.settings_.frequencyHz);
      });
  add(
      t, "[SOURce]:POWer:[LEVel]:[IMMediate]:[AMPLitude]",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        s.settings_.powerDbm = ranged(numberValue(c.params[0], Unit::DbMilliwatt), -136, 20);
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = formatNumber(s.settings_.powerDbm);
      });
  add(
      t, "[SOURce]:POWer:ALC:[STATe]",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        s.settings_.alc = booleanValue(c.params[0]);
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = onOff(s.settings_.alc);
      });
  add(
      t, "OUTPut:MODulation:[STATe]",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        s.states_.modulation = booleanValue(c.params[0]);
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = onOff(s.states_.modulation);
      });
  add(
      t, "OUTPut:[STATe]",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        s.states_.rfOutput = booleanValue(c.params[0]);
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = onOff(s.states_.rfOutput);
      });
}

// The I/Q modulator: baseband filter and attenuation.
void Instrument::addBasebandCommands(std::vector<Command>& t) {
  using Self = Instrument;
  add(
      t, "[SOURce]:DM:BBFilter",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        if (isKeyword(c.params[0], "THRough")) {
          s.settings_.basebandFilter = "Through";
          return;
        }
        const double f = choiceFrequency(c.params[0]);
        if (near(f, 2.1e6))
          s.settings_.basebandFilter = "2.1MHz";
        else if (near(f, 40e6))
          s.settings_.basebandFilter = "40MHz";
        else
          raise(-224);
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = s.settings_.basebandFilter;
      });
  add(
      t, "[SOURce]:DM:IQATtenuation:AUTO",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        s.settings_.iqAttenuationAuto = booleanValue(c.params[0]);
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = onOff(s.settings_.iqAttenuationAuto);
      });
  add(
      t, "[SOURce]:DM:IQATtenuation:[LEVel]",
      [](Self& s, Call& c) {
        expectCount(c.params, 1);
        // A value typed in takes the attenuation out of automatic mode.
        s.settings_.iqAttenuationDb = ranged(numberValue(c.params[0], Unit::Decibel), 0, 40);
        s.settings_.iqAttenuationAuto = false;
      },
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = formatNumber(s.settings_.iqAttenuationDb);
      });
}

// ARB memory blocks, the error queue and the simulator's own state query.
void Instrument::addMemoryCommands(std::vector<Command>& t) {
  using Self = Instrument;
  add(
      t, "MMEMory:DATA",
      [](Self& s, Call& c) {
        if (c.params.size() < 2) raise(-109);
        if (c.params.size() > 2) raise(-108);
        const FileRef ref = fileRef(c.params[0]);
        if (c.params[1].kind != Param::Kind::Block) raise(-104);
        if (!isWaveformMemory(ref.memory) && ref.memory != "MKR1") raise(-257);
        s.store(ref.memory == "MKR1" ? "MKR1:" + ref.name : "WFM1:" + ref.name, *c.params[1].block);
      },
      nullptr);
  add(
      t, "SYSTem:ERRor:[NEXT]", nullptr,
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        if (s.errors_.empty()) {
          c.reply = errorEntry(0);
        } else {
          c.reply = std::move(s.errors_.front());
          s.errors_.pop_front();
        }
      },
      true);
  add(
      t, "SYSTem:VERSion", nullptr,
      [](Self&, Call& c) {
        expectCount(c.params, 0);
        c.reply = "1999.0";
      },
      true);
  add(
      t, "SYSTem:KELVane:STATe", nullptr,
      [](Self& s, Call& c) {
        expectCount(c.params, 0);
        c.reply = s.stateLocked().dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
      },
      true);
}

const std::vector<Instrument::Command>& Instrument::commands() {
  static const std::vector<Command> table = [] {
    std::vector<Command> t;
    addArbSelectionCommands(t);
    addArbSequenceCommands(t);
    addArbClockCommands(t);
    addArbMarkersCommands(t);
    addRfCommands(t);
    addBasebandCommands(t);
    addMemoryCommands(t);
    return t;
  }();
  return table;
}

void Instrument::push(int code) {
  pushEntry(errorEntry(code));
}

void Instrument::pushEntry(std::string entry) {
  esr_ |= eventBit(std::atoi(entry.c_str()));
  // A full queue keeps its oldest entries and marks the loss in its last one.
  if (errors_.size() >= kErrorQueueLength) {
    errors_.back() = errorEntry(-350);
    return;
  }
  errors_.push_back(std::move(entry));
}

void Instrument::log(std::string_view text) {
  if (observer_) observer_(printable(text));
  std::string entry = printable(text.substr(0, kCommandEntryBytes));
  if (text.size() > kCommandEntryBytes) entry += "... (" + std::to_string(text.size()) + " bytes)";
  commandsBytes_ += entry.size();
  commands_.push_back(std::move(entry));
  while (commands_.size() > kCommandLogLength || commandsBytes_ > kCommandLogBytes) {
    commandsBytes_ -= commands_.front().size();
    commands_.pop_front();
    ++commandsDropped_;
  }
}

std::uint64_t Instrument::usedBytes() const {
  std::uint64_t used = 0;
  for (const auto& [name, f] : waveforms_)
    used += f.bytes.size();
  for (const auto& [name, f] : markers_)
    used += f.bytes.size();
  return used;
}

std::size_t Instrument::usedSamples() const {
  return static_cast<std::size_t>((usedBytes() + 3) / 4);
}

namespace {
// The largest |word| of big-endian 16-bit words, eight words at a time.
long peakWord(const Bytes& bytes) {
  const std::uint8_t* p = bytes.data();
  const std::size_t words = bytes.size() / 2;
  const __m128i swap = _mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14);
  __m128i hi = _mm_setzero_si128();
  __m128i lo = _mm_setzero_si128();
  std::size_t i = 0;
  for (; i + 8 <= words; i += 8) {
    const __m128i w =
        _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * i)), swap);
    hi = _mm_max_epi16(hi, w);
    lo = _mm_min_epi16(lo, w);
  }
  alignas(16) std::int16_t his[8], los[8];
  _mm_store_si128(reinterpret_cast<__m128i*>(his), hi);
  _mm_store_si128(reinterpret_cast<__m128i*>(los), lo);
  long peak = 0;
  for (int k = 0; k < 8; ++k)
    peak = std::max({peak, long{his[k]}, -long{los[k]}});
  for (; i < words; ++i)
    peak = std::max(peak, std::labs(static_cast<std::int16_t>(p[2 * i] << 8 | p[2 * i + 1])));
  return peak;
}

// Samples with marker 1 (bit 0) and with marker 2 (bit 1) set, eight bytes at a time.
std::pair<std::size_t, std::size_t> markerCounts(const Bytes& bytes) {
  std::size_t one = 0;
  std::size_t two = 0;
  std::size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    std::uint64_t w;
    std::memcpy(&w, bytes.data() + i, 8);
    one += static_cast<std::size_t>(std::popcount(w & 0x0101010101010101ull));
    two += static_cast<std::size_t>(std::popcount(w & 0x0202020202020202ull));
  }
  for (; i < bytes.size(); ++i) {
    one += bytes[i] & 1u;
    two += (bytes[i] >> 1) & 1u;
  }
  return {one, two};
}
}  // namespace

void Instrument::store(const std::string& target, Block& block) {
  const bool isMarker = target.starts_with("MKR1:");
  const std::string name = target.substr(5);
  if (block.discarded) raise(-225);
  const std::size_t bytes = block.data.size();
  if (bytes == 0 || (!isMarker && bytes % 4 != 0)) raise(-161);
  // Waveform and marker files share the memory by their bytes: 4 a waveform sample, 1 a marker
  // sample. A file replaced frees its own bytes first.
  auto& files = isMarker ? markers_ : waveforms_;
  const auto old = files.find(name);
  const std::uint64_t freed = old == files.end() ? 0 : old->second.bytes.size();
  if (bytes > keepLimit() - usedBytes() + freed) raise(-225);
  File f;
  f.samples = isMarker ? bytes : bytes / 4;
  if (isMarker) {
    std::tie(f.marker1, f.marker2) = markerCounts(block.data);
  } else {
    f.peak = peakWord(block.data);
  }
  f.crc = block.crc;
  f.bytes = std::move(block.data);
  files[name] = std::move(f);
}

// The standard event status bit an error entry sets, by the class of its code.
std::uint8_t Instrument::eventBit(int code) {
  if (code <= -100 && code > -200) return kCommandErrorBit;
  if (code <= -200 && code > -300) return kExecutionErrorBit;
  if (code <= -300 && code > -400) return kDeviceErrorBit;
  if (code <= -400 && code > -500) return kQueryErrorBit;
  return code > 0 ? kDeviceErrorBit : 0;
}

std::uint8_t Instrument::statusByte() const {
  std::uint8_t stb = 0;
  if (!errors_.empty()) stb |= kErrorAvailableBit;
  if ((esr_ & ese_) != 0) stb |= kEventSummaryBit;
  if ((stb & sre_ & ~kServiceRequestBit) != 0) stb |= kServiceRequestBit;
  return stb;
}

// The option that names the ARB memory: 008 or 032 for 8 or 32 Msamples, otherwise the count
// of samples.
std::string Instrument::memoryOption() const {
  constexpr std::size_t kMega = 1u << 20;
  if (capacity_ % kMega != 0 || capacity_ / kMega > 999) return std::to_string(capacity_);
  char text[8];
  std::snprintf(text, sizeof text, "%03zu", capacity_ / kMega);
  return text;
}

const std::map<std::string, Instrument::CommonHandler>& Instrument::commonCommands() {
  using Self = Instrument;
  using Params = std::vector<Param>;
  using Replies = std::vector<std::string>;
  auto registerValue = [](const Params& p) {
    return static_cast<std::uint8_t>(ranged(static_cast<double>(integerParam(p[0])), 0, 255));
  };
  static const std::map<std::string, CommonHandler> table = {
      {"*IDN?", [](Self&, const Params&, Replies& r) { r.emplace_back(kIdentification); }},
      // Every command is complete when its message has been carried out.
      {"*OPC?", [](Self&, const Params&, Replies& r) { r.emplace_back("1"); }},
      {"*OPC", [](Self& s, const Params&, Replies&) { s.esr_ |= kOperationCompleteBit; }},
      {"*WAI", [](Self&, const Params&, Replies&) {}},
      {"*TST?", [](Self&, const Params&, Replies& r) { r.emplace_back("0"); }},
      {"*OPT?", [](Self& s, const Params&, Replies& r) { r.push_back(s.memoryOption()); }},
      // Settings and states to their defaults; files, sequences, the selection and the status
      // registers stay.
      {"*RST",
       [](Self& s, const Params&, Replies&) {
         s.settings_ = Settings{};
         s.states_ = States{};
       }},
      {"*CLS",
       [](Self& s, const Params&, Replies&) {
         s.errors_.clear();
         s.esr_ = 0;
       }},
      {"*ESR?",
       [](Self& s, const Params&, Replies& r) {
         r.push_back(std::to_string(s.esr_));
         s.esr_ = 0;
       }},
      {"*ESE", [=](Self& s, const Params& p, Replies&) { s.ese_ = registerValue(p); }},
      {"*ESE?", [](Self& s, const Params&, Replies& r) { r.push_back(std::to_string(s.ese_)); }},
      {"*SRE",
       [=](Self& s, const Params& p, Replies&) {
         s.sre_ = static_cast<std::uint8_t>(registerValue(p) & ~kServiceRequestBit);
       }},
      {"*SRE?", [](Self& s, const Params&, Replies& r) { r.push_back(std::to_string(s.sre_)); }},
      {"*STB?",
       [](Self& s, const Params&, Replies& r) { r.push_back(std::to_string(s.statusByte())); }},
  };
  return table;
}

void Instrument::common(std::string_view header, const std::vector<Param>& params,
                        std::vector<std::string>& replies) {
  const std::string h = upperCase(header);
  const auto& table = commonCommands();
  const auto it = table.find(h);
  if (it == table.end()) raise(-113);
  // *ESE and *SRE take their register's value; every other common command takes nothing.
  expectCount(params, h == "*ESE" || h == "*SRE" ? 1 : 0);
  it->second(*this, params, replies);
}

void Instrument::runUnit(std::string_view unit, std::size_t base, Message& m,
                         std::vector<std::string>& prefix, bool first, bool failing,
                         std::vector<std::string>& replies) {
  const std::string_view trimmed = trimLeft(unit);
  if (trimmed.empty()) return;
  base += unit.size() - trimmed.size();
  const std::size_t blank = trimmed.find_first_of(" \t");
  const std::string_view header = trimmed.substr(0, blank);
  const std::string_view rest =
      blank == std::string_view::npos ? std::string_view{} : trimmed.substr(blank);
  const std::size_t restBase = base + header.size();

  if (header.front() == '*') {
    if (failing) throw InjectedFailure{};
    common(header, splitParams(rest, restBase, m.blocks), replies);
    return;
  }

  std::string_view path = header;
  const bool query = path.ends_with('?');
  if (query) path.remove_suffix(1);
  const bool absolute = path.starts_with(':');
  if (absolute) path.remove_prefix(1);
  std::vector<std::string> nodes;
  if (!absolute && !first) nodes = prefix;
  while (true) {
    const auto colon = path.find(':');
    const std::string_view node = path.substr(0, colon);
    if (node.empty()) raise(-113);
    nodes.emplace_back(node);
    if (colon == std::string_view::npos) break;
    path.remove_prefix(colon + 1);
  }
  prefix.assign(nodes.begin(), nodes.end() - 1);

  for (const Command& cmd : commands()) {
    if (!cmd.header.matches(nodes)) continue;
    const Handler h = query ? cmd.query : cmd.set;
    if (h == nullptr) raise(-113);
    if (failing && !cmd.diagnostic) throw InjectedFailure{};
    const std::vector<Param> params = splitParams(rest, restBase, m.blocks);
    Call call{params, {}};
    h(*this, call);
    if (query) replies.push_back(std::move(call.reply));
    return;
  }
  if (failing) throw InjectedFailure{};
  raise(-113);
}

std::string Instrument::execute(Message&& m) {
  std::lock_guard lock(mutex_);
  if (m.text.empty() && m.blocks.empty()) return {};
  log(m.text);
  if (m.tooLong) {
    push(-223);
    return {};
  }
  if (m.badBlockHeader) {
    push(-161);
    return {};
  }
  bool failing = false;
  if (!faults_.failPattern.empty()) {
    const std::string text = upperCase(m.text);
    failing = text.find(upperCase(faults_.failPattern)) != std::string::npos;
  }

  std::vector<std::string> replies;
  std::vector<std::string> prefix;
  const std::string_view text = m.text;
  std::size_t start = 0;
  bool first = true;
  auto run = [&](std::size_t end) {
    try {
      runUnit(text.substr(start, end - start), start, m, prefix, first, failing, replies);
    } catch (const ScpiError& e) {
      push(e.code);
    } catch (const InjectedFailure&) {
      pushEntry(printable(faults_.failError));
    }
    first = false;
  };
  forEachUnquotedPiece(text, ';', [&](std::size_t from, std::size_t to) {
    start = from;
    run(to);
  });

  if (replies.empty()) return {};
  std::string out;
  for (const std::string& r : replies) {
    if (!out.empty()) out += ';';
    out += r;
  }
  out += '\n';
  return out;
}

nlohmann::json Instrument::state() const {
  std::lock_guard lock(mutex_);
  return stateLocked();
}

nlohmann::json Instrument::filesState() const {
  using nlohmann::json;
  json files = {{"WFM1", json::object()}, {"MKR1", json::object()}};
  for (const auto& [name, f] : waveforms_)
    files["WFM1"][name] = {
        {"samples", f.samples}, {"bytes", f.bytes.size()}, {"crc32", f.crc}, {"peak", f.peak}};
  for (const auto& [name, f] : markers_)
    files["MKR1"][name] = {{"samples", f.samples},
                           {"crc32", f.crc},
                           {"marker1Samples", f.marker1},
                           {"marker2Samples", f.marker2}};
  return files;
}

nlohmann::json Instrument::sequencesState() const {
  using nlohmann::json;
  json sequences = json::object();
  for (const auto& [name, elements] : sequences_) {
    json list = json::array();
    for (const Element& e : elements)
      list.push_back({{"waveform", e.waveform},
                      {"repetitions", e.repetitions},
                      {"marker1", e.marker1},
                      {"marker2", e.marker2}});
    sequences[name] = std::move(list);
  }
  return sequences;
}

nlohmann::json Instrument::settingsState() const {
  const Settings& st = settings_;
  return {{"frequencyHz", st.frequencyHz},
          {"powerDbm", st.powerDbm},
          {"sampleClockHz", st.sampleClockHz},
          {"basebandFilter", st.basebandFilter},
          {"runtimeScaling", st.runtimeScaling},
          {"iqAttenuationDb", st.iqAttenuationDb},
          {"iqAttenuationAuto", st.iqAttenuationAuto},
          {"alc", st.alc},
          {"rfBlanking", st.rfBlanking},
          {"markerPolarity", st.markerPolarityNegative ? "negative" : "positive"},
          {"clockReference", st.clockReferenceExternal ? "external" : "internal"},
          {"reconstructionFilter", st.reconstructionFilter}};
}

nlohmann::json Instrument::faultsState() const {
  nlohmann::json faults = {{"dropAfterBlockBytes", nullptr},
                           {"dropLimit", faults_.dropLimit},
                           {"drops", cuts_},
                           {"replyDelayMs", faults_.replyDelay.count()},
                           {"failPattern", printable(faults_.failPattern)},
                           {"failError", printable(faults_.failError)}};
  if (faults_.dropAfterBlockBytes) faults["dropAfterBlockBytes"] = *faults_.dropAfterBlockBytes;
  return faults;
}

nlohmann::json Instrument::stateLocked() const {
  using nlohmann::json;
  json selected = nullptr;
  if (selected_)
    selected = {{"kind", selected_->sequence ? "sequence" : "waveform"}, {"name", selected_->name}};
  const std::size_t used = usedSamples();
  return {
      {"identification", kIdentification},
      {"memory",
       {{"capacitySamples", capacity_}, {"usedSamples", used}, {"freeSamples", capacity_ - used}}},
      {"files", filesState()},
      {"sequences", sequencesState()},
      {"selected", std::move(selected)},
      {"settings", settingsState()},
      {"states",
       {{"arb", states_.arb}, {"rfOutput", states_.rfOutput}, {"modulation", states_.modulation}}},
      {"errorQueue", errors_},
      {"commands", commands_},
      {"commandsDropped", commandsDropped_},
      {"connections", {{"accepted", accepted_}, {"open", open_}, {"dropped", dropped_}}},
      {"faults", faultsState()},
  };
}

void Instrument::setFaults(Faults faults) {
  std::lock_guard lock(mutex_);
  faults_ = std::move(faults);
  cuts_ = 0;
}

Faults Instrument::faults() const {
  std::lock_guard lock(mutex_);
  return faults_;
}

std::optional<std::uint64_t> Instrument::cutAfter() const {
  std::lock_guard lock(mutex_);
  if (!faults_.dropAfterBlockBytes) return std::nullopt;
  if (faults_.dropLimit != 0 && cuts_ >= faults_.dropLimit) return std::nullopt;
  return *faults_.dropAfterBlockBytes;
}

void Instrument::noteCut() {
  std::lock_guard lock(mutex_);
  ++cuts_;
  ++dropped_;
}

void Instrument::noteConnectionOpened() {
  std::lock_guard lock(mutex_);
  ++accepted_;
  ++open_;
}

void Instrument::noteConnectionClosed() {
  std::lock_guard lock(mutex_);
  --open_;
}

std::chrono::milliseconds Instrument::replyDelay() const {
  std::lock_guard lock(mutex_);
  return faults_.replyDelay;
}

std::optional<std::vector<std::int16_t>> Instrument::waveformWords(const std::string& name) const {
  std::lock_guard lock(mutex_);
  const auto it = waveforms_.find(name);
  if (it == waveforms_.end()) return std::nullopt;
  const auto& b = it->second.bytes;
  std::vector<std::int16_t> words(b.size() / 2);
  for (std::size_t i = 0; i < words.size(); ++i)
    words[i] = static_cast<std::int16_t>(static_cast<std::uint16_t>(b[2 * i] << 8 | b[2 * i + 1]));
  return words;
}

std::optional<std::vector<std::uint8_t>> Instrument::markerBytes(const std::string& name) const {
  std::lock_guard lock(mutex_);
  const auto it = markers_.find(name);
  if (it == markers_.end()) return std::nullopt;
  return std::vector<std::uint8_t>(it->second.bytes.begin(), it->second.bytes.end());
}

}  // namespace kelvane::simulator
