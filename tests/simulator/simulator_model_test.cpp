// The simulated instrument's model without a connection: what it keeps of the messages it
// received (bounded in count and in bytes) and how its ARB memory counts waveform and marker
// files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "simulator/instrument_model.hpp"

namespace kelvane::simulator {
namespace {

Message text(std::string t) {
  Message m;
  m.text = std::move(t);
  return m;
}

// A :MMEM:DATA message for `target` ("WFM1:a", "MKR1:a") with a block of `bytes` bytes.
Message store(const std::string& target, std::size_t bytes) {
  Message m;
  m.text = ":MMEM:DATA \"" + target + "\",#9" + std::string(9 - std::to_string(bytes).size(), '0') +
           std::to_string(bytes);
  Block b;
  b.textOffset = m.text.size();
  b.length = bytes;
  b.data.assign(bytes, 0x01);
  m.blocks.push_back(std::move(b));
  return m;
}

std::vector<std::string> drainErrors(Instrument& in) {
  std::vector<std::string> out;
  for (;;) {
    std::string e = in.execute(text(":SYST:ERR?"));
    e.pop_back();  // the line feed
    if (e.rfind("+0,", 0) == 0) return out;
    out.push_back(e);
  }
}

std::size_t logBytes(const nlohmann::json& commands) {
  std::size_t n = 0;
  for (const auto& c : commands)
    n += c.get<std::string>().size();
  return n;
}

TEST(SimulatorModel, TheCommandLogIsBoundedInBytesAndKeepsLongMessagesTruncated) {
  Instrument in(4096);
  // A message of 100 000 bytes is logged with its first 1024 bytes and its length.
  const std::string longText = ":nope " + std::string(100000 - 6, 'x');
  in.execute(text(longText));
  auto log = in.state()["commands"];
  ASSERT_EQ(log.size(), 1u);
  const std::string logged = log[0].get<std::string>();
  EXPECT_TRUE(logged == longText.substr(0, 1024) + "... (100000 bytes)")
      << logged.size() << " bytes logged, ending " << logged.substr(logged.size() - 20);

  // 2000 messages of 64 KiB: the log keeps the newest within 1 MiB and counts the rest.
  for (int i = 0; i < 2000; ++i)
    in.execute(text(":nope" + std::to_string(i) + " " + std::string(64 * 1024, 'y')));
  const auto st = in.state();
  log = st["commands"];
  EXPECT_LE(logBytes(log), 1u << 20);
  EXPECT_GT(log.size(), 900u);  // about 1 KiB each
  EXPECT_EQ(log.size() + st["commandsDropped"].get<std::size_t>(), 2001u);
  EXPECT_EQ(log.back().get<std::string>().rfind(":nope1999 yyy", 0), 0u);
}

TEST(SimulatorModel, MarkerFilesCountTheirBytesAgainstTheMemory) {
  Instrument in(4096);  // 4096 samples: 16384 bytes
  // 3000 waveform samples (12000 bytes) and their 3000 marker bytes: 15000 bytes, 3750 samples.
  in.execute(store("WFM1:a", 4 * 3000));
  in.execute(store("MKR1:a", 3000));
  EXPECT_TRUE(drainErrors(in).empty());
  auto memory = in.state()["memory"];
  EXPECT_EQ(memory["usedSamples"], 3750);
  EXPECT_EQ(memory["freeSamples"], 346);

  // 347 more samples do not fit, 346 do; then the memory is full, for markers too.
  in.execute(store("WFM1:b", 4 * 347));
  EXPECT_EQ(drainErrors(in), std::vector<std::string>{"-225,\"Out of memory\""});
  in.execute(store("WFM1:b", 4 * 346));
  EXPECT_TRUE(drainErrors(in).empty());
  for (int i = 0; i < 20; ++i)
    in.execute(store("MKR1:m" + std::to_string(i), 1000));
  EXPECT_EQ(drainErrors(in), std::vector<std::string>(20, "-225,\"Out of memory\""));
  EXPECT_EQ(in.state()["files"]["MKR1"].size(), 1u);

  // A marker file replaced may use the bytes it frees.
  in.execute(store("MKR1:a", 3000));
  EXPECT_TRUE(drainErrors(in).empty());
  memory = in.state()["memory"];
  EXPECT_EQ(memory["usedSamples"], 4096);
  EXPECT_EQ(memory["freeSamples"], 0);
}

}  // namespace
}  // namespace kelvane::simulator
