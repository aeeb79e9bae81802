// libFuzzer target: the simulator's message reader on an arbitrary byte stream that arrives in
// pieces of varying length. The messages must not depend on where the reads end: the stream fed
// in pieces gives exactly the messages of the stream fed at once. Every message must also hold
// together: its text within the limit, each kept block as long as its header says, each block's
// place inside the text.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_chunks.hpp"
#include "simulator/message_reader.hpp"

namespace {

using kelvane::simulator::Message;
using kelvane::simulator::MessageReader;

// Small limits so that short inputs reach the discarded-block and too-long-text paths.
constexpr std::uint64_t kKeepLimit = 64;
constexpr std::size_t kTextLimit = 256;

void check(const Message& m) {
  if (m.text.size() > kTextLimit) std::abort();
  std::size_t previous = 0;
  for (const auto& b : m.blocks) {
    if (b.textOffset > m.text.size() || b.textOffset < previous) std::abort();
    previous = b.textOffset;
    if (b.discarded && !b.data.empty()) std::abort();
    // A line feed cannot end a definite block early, and an indefinite one counts what it got.
    if (!b.discarded && b.data.size() != b.length) std::abort();
  }
}

bool same(const Message& a, const Message& b) {
  if (a.text != b.text || a.tooLong != b.tooLong || a.badBlockHeader != b.badBlockHeader ||
      a.blocks.size() != b.blocks.size())
    return false;
  for (std::size_t i = 0; i < a.blocks.size(); ++i) {
    const auto& x = a.blocks[i];
    const auto& y = b.blocks[i];
    if (x.textOffset != y.textOffset || x.length != y.length || x.data != y.data ||
        x.discarded != y.discarded || x.indefinite != y.indefinite || x.crc != y.crc)
      return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto input = kelvane::fuzzing::chunk(data, size);

  std::vector<Message> whole;
  MessageReader once(kKeepLimit, kTextLimit);
  once.feed(input.bytes, [&](Message&& m) { whole.push_back(std::move(m)); });

  std::vector<Message> pieces;
  MessageReader reader(kKeepLimit, kTextLimit);
  for (const auto& part : input.parts)
    if (reader.feed(part, [&](Message&& m) { pieces.push_back(std::move(m)); }) !=
        MessageReader::Result::Consumed)
      std::abort();  // no cut was asked for

  if (whole.size() != pieces.size()) std::abort();
  for (std::size_t i = 0; i < whole.size(); ++i) {
    check(whole[i]);
    if (!same(whole[i], pieces[i])) std::abort();
  }
  if (once.midMessage() != reader.midMessage()) std::abort();
  return 0;
}
