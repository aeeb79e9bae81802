// libFuzzer target: the simulated signal generator's SCPI model on an arbitrary byte stream that
// arrives in pieces of varying length (see fuzz_chunks.hpp). Each message the reader completes
// is carried out by an Instrument with a small ARB memory, as one connection of the simulator
// does. What the instrument answers and the state it ends in must not depend on where the reads
// end, and the state must always serialise to valid JSON (UTF-8 text).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_chunks.hpp"
#include "simulator/instrument_model.hpp"
#include "simulator/message_reader.hpp"

namespace {

using kelvane::simulator::Instrument;
using kelvane::simulator::Message;
using kelvane::simulator::MessageReader;

// 256 samples of memory (1 KiB of waveform data), so that short inputs fill it.
constexpr std::size_t kMemorySamples = 256;

struct Run {
  std::string replies;
  std::string state;
};

template <class Parts>
Run serve(const Parts& parts) {
  Instrument instrument(kMemorySamples);
  MessageReader reader(instrument.keepLimit(), 4096);
  Run run;
  for (const auto& part : parts)
    reader.feed(part, [&](Message&& m) { run.replies += instrument.execute(std::move(m)); });
  // The strict dump throws on text that is not UTF-8: every received byte must reach the state
  // escaped.
  run.state = instrument.state().dump(-1, ' ', false, nlohmann::json::error_handler_t::strict);
  return run;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto input = kelvane::fuzzing::chunk(data, size);
  const Run whole = serve(std::vector{input.bytes});
  const Run pieces = serve(input.parts);
  if (whole.replies != pieces.replies || whole.state != pieces.state) std::abort();
  return 0;
}
