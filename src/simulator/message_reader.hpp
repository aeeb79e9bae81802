// Splits the byte stream of one connection into program messages: text up to a line feed, with
// IEEE 488.2 definite-length blocks (#<d><len><bytes>) taken by their length, so a block may
// hold any byte, line feeds included, and may arrive cut at any point.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "simulator/block_memory.hpp"

namespace kelvane::simulator {

struct Block {
  std::size_t textOffset = 0;      // position in Message::text just after the block's header
  std::uint64_t length = 0;        // bytes in the block
  Bytes data;                      // the bytes; empty when discarded
  bool discarded = false;          // longer than the reader keeps: counted, not stored
  bool indefinite = false;         // "#0" form: the bytes up to the message's line feed
  std::uint32_t crc = 0;           // CRC-32 of the bytes (kept blocks only)
};

struct Message {
  std::string text;  // without the line feed (nor a CR before it) and without block bytes
  std::vector<Block> blocks;
  bool badBlockHeader = false;  // "#<d>" followed by fewer than d digits
  bool tooLong = false;         // text beyond the reader's limit; the rest was dropped
};

class MessageReader {
 public:
  // keepLimit: the longest block stored (longer ones are read and discarded);
  // textLimit: the longest message text kept.
  MessageReader(std::uint64_t keepLimit, std::size_t textLimit = 1u << 20);

  enum class Result { Consumed, Cut };

  // Feeds received bytes; calls `onMessage` for every message completed. When `cutAfter` is set
  // and a block longer than it reaches that many bytes, stops and returns Cut (the fault
  // injection that drops a connection mid-block); otherwise consumes everything.
  Result feed(std::span<const char> bytes, const std::function<void(Message&&)>& onMessage,
              std::optional<std::uint64_t> cutAfter = std::nullopt);

  // Room for the rest of a definite block being kept, so that a socket reads it straight into
  // the block: a 60 MB waveform is then copied once, not twice. Empty when no such block is being
  // read.
  std::span<char> blockRoom();
  // `n` bytes were read into blockRoom().
  void blockFilled(std::size_t n);

  // True between the first byte of a message and its line feed.
  bool midMessage() const { return state_ != State::Text || !current_.text.empty(); }

 private:
  enum class State { Text, BlockDigit, BlockLength, BlockData, Indefinite };

  std::uint64_t keepLimit_;
  std::size_t textLimit_;
  State state_ = State::Text;
  char quote_ = 0;  // the open quote character in text, or 0
  Message current_;
  int lengthDigits_ = 0;  // digits of the block length still to come
  std::uint64_t blockLength_ = 0;
  std::uint64_t blockReceived_ = 0;

  const char* feedText(const char* p, const std::function<void(Message&&)>& onMessage);
  const char* feedBlockDigit(const char* p);
  const char* feedBlockLength(const char* p);
  const char* feedBlockData(const char* p, const char* end, std::optional<std::uint64_t> cutAfter,
                            bool& cut);
  const char* feedIndefinite(const char* p, const char* end,
                             const std::function<void(Message&&)>& onMessage);
  void appendText(char c);
  void startBlock(std::uint64_t length, bool indefinite);
  void appendBlock(const char* data, std::size_t n);
  void countBlockBytes(std::size_t n);
  void finish(const std::function<void(Message&&)>& onMessage);
};

}  // namespace kelvane::simulator
