#include "coding/channel_interleaver.hpp"

#include <bit>
#include <cctype>
#include <string>

#include "coding/binary.hpp"
#include "coding/checks.hpp"
#include "coding/error.hpp"

namespace kelvane::coding {

namespace {

enum class StreamType { U, V };

StreamType streamType(std::string_view type) {
  std::string upper(type);
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "U") return StreamType::U;
  if (upper == "V") return StreamType::V;
  fail("type must be \"U\" or \"V\", got \"" + std::string(type) + "\"");
}

// Appends the permuted block to `out`.
template <class T>
void permute(std::span<const T> in, std::size_t k, std::size_t m, StreamType type,
             std::vector<T>& out) {
  const int width = std::countr_zero(m);
  const std::size_t base = out.size();
  out.resize(base + k * m);
  for (std::size_t i = 0; i < m; ++i) {
    const std::size_t rotation = (type == StreamType::U ? i : i / 4) % k;
    const std::size_t column = reverseLowBits(static_cast<std::uint32_t>(i), width);
    T* dst = out.data() + base + column * k;
    // Rotating down by n: row r of the new column is row (r - n) mod k of the old one.
    std::size_t from = rotation == 0 ? 0 : k - rotation;
    for (std::size_t r = 0; r < k; ++r) {
      dst[r] = in[from * m + i];
      if (++from == k) from = 0;
    }
  }
}

template <class T>
std::vector<T> symbolPermuter(std::span<const T> in, std::size_t k, std::size_t m,
                              std::string_view type) {
  const StreamType t = streamType(type);
  if (k < 1) fail("k must be at least 1, got " + std::to_string(k));
  if (!std::has_single_bit(m) || m > (std::size_t{1} << 31))
    fail("m must be a power of two, got " + std::to_string(m));
  // Compared by division: k * m itself may not fit.
  if (in.size() % k != 0 || in.size() / k != m)
    fail("inputBlock must hold k * m = " + std::to_string(k) + " * " + std::to_string(m) +
         " symbols, got " + std::to_string(in.size()));
  std::vector<T> out;
  permute(in, k, m, t, out);
  return out;
}

template <class T>
std::vector<T> channelInterleaver(std::span<const T> input, const ModParams& format) {
  std::size_t k = 0, m = 0;
  if (format.bits == 1024) {
    k = 2, m = 512;
  } else if (format.bits == 2048) {
    k = 2, m = 1024;
  } else if (format.bits == 3072) {
    k = 3, m = 1024;
  } else if (format.bits == 4096) {
    k = 4, m = 1024;
  } else {
    fail("bits must be 1024, 2048, 3072 or 4096, got " + std::to_string(format.bits));
  }
  std::size_t streams = 0;  // 1 / rate
  if (format.codeRate == 1.0 / 3) {
    streams = 3;
  } else if (format.codeRate == 0.2) {
    streams = 5;
  } else {
    fail("codeRate must be 1/3 or 1/5, got " + formatNumber(format.codeRate));
  }
  const std::size_t bits = k * m;
  if (input.size() != streams * bits)
    fail("input must hold " + std::to_string(streams * bits) + " code symbols for " +
         std::to_string(bits) + " bits at rate 1/" + std::to_string(streams) + ", got " +
         std::to_string(input.size()));

  // Demultiplex by position within each group of 1/rate symbols; a V block is the whole of one
  // parity stream followed by the whole of its partner.
  auto stream = [&](std::size_t position, T* to) {
    for (std::size_t j = 0; j < bits; ++j)
      to[j] = input[j * streams + position];
  };
  std::vector<T> u(bits), v(2 * bits);
  std::vector<T> out;
  out.reserve(input.size());
  stream(0, u.data());
  permute<T>(u, k, m, StreamType::U, out);
  stream(1, v.data());
  stream(streams == 3 ? 2 : 3, v.data() + bits);
  permute<T>(v, k, 2 * m, StreamType::V, out);
  if (streams == 5) {
    stream(2, v.data());
    stream(4, v.data() + bits);
    permute<T>(v, k, 2 * m, StreamType::V, out);
  }
  return out;
}

}  // namespace

Bits Qarn_FwdSymbolPermuter(std::span<const std::uint8_t> inputBlock, std::size_t k, std::size_t m,
                            std::string_view type) {
  return symbolPermuter(inputBlock, k, m, type);
}

std::vector<double> Qarn_FwdSymbolPermuter(std::span<const double> inputBlock, std::size_t k,
                                           std::size_t m, std::string_view type) {
  return symbolPermuter(inputBlock, k, m, type);
}

Bits Qarn_FwdChannelInterleaver(std::span<const std::uint8_t> input, const ModParams& format) {
  return channelInterleaver(input, format);
}

std::vector<double> Qarn_FwdChannelInterleaver(std::span<const double> input,
                                               const ModParams& format) {
  return channelInterleaver(input, format);
}

}  // namespace kelvane::coding
