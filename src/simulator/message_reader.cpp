#include "simulator/message_reader.hpp"

#include <algorithm>
#include <cstring>

#include "simulator/crc32.hpp"

namespace kelvane::simulator {

MessageReader::MessageReader(std::uint64_t keepLimit, std::size_t textLimit)
    : keepLimit_(keepLimit), textLimit_(textLimit) {}

void MessageReader::appendText(char c) {
  if (current_.text.size() < textLimit_)
    current_.text.push_back(c);
  else
    current_.tooLong = true;
}

void MessageReader::startBlock(std::uint64_t length, bool indefinite) {
  Block b;
  b.textOffset = current_.text.size();
  b.length = indefinite ? 0 : length;
  b.indefinite = indefinite;
  b.discarded = !indefinite && length > keepLimit_;
  b.crc = crc32Begin();
  if (!b.discarded && !indefinite) b.data.resize(static_cast<std::size_t>(length));  // unwritten
  current_.blocks.push_back(std::move(b));
  blockLength_ = length;
  blockReceived_ = 0;
}

void MessageReader::appendBlock(const char* data, std::size_t n) {
  Block& b = current_.blocks.back();
  if (b.indefinite) {
    b.length += n;
    if (b.length > keepLimit_) b.discarded = true;
    if (!b.discarded) b.data.insert(b.data.end(), data, data + n);
  } else if (!b.discarded) {
    std::memcpy(b.data.data() + blockReceived_, data, n);
  }
  countBlockBytes(n);
}

// Counts `n` bytes that are in place at the end of the block's data (or not kept).
void MessageReader::countBlockBytes(std::size_t n) {
  Block& b = current_.blocks.back();
  const std::size_t at = static_cast<std::size_t>(b.indefinite ? b.length - n : blockReceived_);
  blockReceived_ += n;
  if (b.discarded) {
    // A block that outgrew the limit keeps neither bytes nor checksum, however its bytes came.
    Bytes().swap(b.data);
    b.crc = crc32Begin();
    return;
  }
  b.crc = crc32Update(b.crc, {b.data.data() + at, n});
}

std::span<char> MessageReader::blockRoom() {
  if (state_ != State::BlockData) return {};
  Block& b = current_.blocks.back();
  if (b.discarded) return {};
  return {reinterpret_cast<char*>(b.data.data()) + blockReceived_,
          static_cast<std::size_t>(blockLength_ - blockReceived_)};
}

void MessageReader::blockFilled(std::size_t n) {
  countBlockBytes(n);
  if (blockReceived_ == blockLength_) state_ = State::Text;
}

void MessageReader::finish(const std::function<void(Message&&)>& onMessage) {
  if (!current_.text.empty() && current_.text.back() == '\r' &&
      (current_.blocks.empty() || current_.blocks.back().textOffset < current_.text.size()))
    current_.text.pop_back();
  for (Block& b : current_.blocks)
    b.crc = crc32End(b.crc);
  Message done = std::move(current_);
  current_ = Message{};
  state_ = State::Text;
  quote_ = 0;
  onMessage(std::move(done));
}

// Text outside a block: a line end finishes the message; '#' outside quotes may open a block.
const char* MessageReader::feedText(const char* p,
                                    const std::function<void(Message&&)>& onMessage) {
  const char c = *p++;
  if (c == '\n') {
    finish(onMessage);
  } else if (quote_ != 0) {
    if (c == quote_) quote_ = 0;
    appendText(c);
  } else if (c == '"' || c == '\'') {
    quote_ = c;
    appendText(c);
  } else {
    appendText(c);
    if (c == '#') state_ = State::BlockDigit;
  }
  return p;
}

// The digit after '#': 0 opens an indefinite block, 1 to 9 the count of length digits.
const char* MessageReader::feedBlockDigit(const char* p) {
  const char c = *p;
  if (c == '0') {
    appendText(c);
    startBlock(0, true);
    state_ = State::Indefinite;
    return p + 1;
  }
  if (c >= '1' && c <= '9') {
    appendText(c);
    lengthDigits_ = c - '0';
    blockLength_ = 0;
    state_ = State::BlockLength;
    return p + 1;
  }
  state_ = State::Text;  // "#H1F" and the like: a non-decimal number, not a block
  return p;
}

const char* MessageReader::feedBlockLength(const char* p) {
  const char c = *p;
  if (c < '0' || c > '9') {
    current_.badBlockHeader = true;
    state_ = State::Text;
    return p;
  }
  appendText(c);
  blockLength_ = blockLength_ * 10 + static_cast<std::uint64_t>(c - '0');
  if (--lengthDigits_ == 0) {
    startBlock(blockLength_, false);
    state_ = blockLength_ == 0 ? State::Text : State::BlockData;
  }
  return p + 1;
}

// Block bytes up to the declared length, or up to `cutAfter` of them (the drop fault).
const char* MessageReader::feedBlockData(const char* p, const char* end,
                                         std::optional<std::uint64_t> cutAfter, bool& cut) {
  std::uint64_t want = blockLength_ - blockReceived_;
  const bool cutting = cutAfter && *cutAfter < blockLength_;
  if (cutting) {
    if (blockReceived_ >= *cutAfter) {
      cut = true;
      return p;
    }
    want = std::min(want, *cutAfter - blockReceived_);
  }
  const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(want, end - p));
  appendBlock(p, n);
  p += n;
  if (cutting && blockReceived_ >= *cutAfter) {
    cut = true;
    return p;
  }
  if (blockReceived_ == blockLength_) state_ = State::Text;
  return p;
}

// An indefinite block runs to the line end, which also ends the message.
const char* MessageReader::feedIndefinite(const char* p, const char* end,
                                          const std::function<void(Message&&)>& onMessage) {
  const char* lf = static_cast<const char*>(std::memchr(p, '\n', end - p));
  const char* stop = lf ? lf : end;
  appendBlock(p, stop - p);
  p = stop;
  if (lf) {
    ++p;
    finish(onMessage);
  }
  return p;
}

MessageReader::Result MessageReader::feed(std::span<const char> bytes,
                                          const std::function<void(Message&&)>& onMessage,
                                          std::optional<std::uint64_t> cutAfter) {
  const char* p = bytes.data();
  const char* const end = p + bytes.size();
  bool cut = false;
  while (p < end && !cut) {
    switch (state_) {
      case State::Text:
        p = feedText(p, onMessage);
        break;
      case State::BlockDigit:
        p = feedBlockDigit(p);
        break;
      case State::BlockLength:
        p = feedBlockLength(p);
        break;
      case State::BlockData:
        p = feedBlockData(p, end, cutAfter, cut);
        break;
      case State::Indefinite:
        p = feedIndefinite(p, end, onMessage);
        break;
    }
  }
  return cut ? Result::Cut : Result::Consumed;
}

}  // namespace kelvane::simulator
