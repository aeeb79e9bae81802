#include "runtime/mat5_check.hpp"

#include <zlib.h>

#include <cstring>
#include <string>
#include <vector>

namespace kelvane::runtime::detail {

namespace {

// Data types and array classes of the MAT version 5 format.
enum : std::uint32_t {
  miINT8 = 1,
  miUINT8 = 2,
  miINT16 = 3,
  miUINT16 = 4,
  miINT32 = 5,
  miUINT32 = 6,
  miSINGLE = 7,
  miDOUBLE = 9,
  miINT64 = 12,
  miUINT64 = 13,
  miMATRIX = 14,
  miCOMPRESSED = 15,
  miUTF8 = 16,
  miUTF16 = 17,
  miUTF32 = 18,
};
enum : std::uint32_t { mxCELL = 1, mxSTRUCT = 2, mxCHAR = 4, mxDOUBLE = 6, mxUINT64 = 15 };

[[noreturn]] void bad(const std::string& what) {
  throw std::runtime_error(what);
}

// Width in bytes of a numeric data type, 0 for the others.
std::size_t widthOf(std::uint32_t type) {
  switch (type) {
    case miINT8:
    case miUINT8:
    case miUTF8:
      return 1;
    case miINT16:
    case miUINT16:
    case miUTF16:
      return 2;
    case miINT32:
    case miUINT32:
    case miSINGLE:
    case miUTF32:
      return 4;
    case miDOUBLE:
    case miINT64:
    case miUINT64:
      return 8;
    default:
      return 0;
  }
}

struct Element {
  std::uint32_t type = 0;
  std::span<const std::uint8_t> data;
  std::size_t consumed = 0;  // tag, data and padding
};

class Walker {
 public:
  Walker(bool swap, const MatReadLimits& limits) : swap_(swap), limits_(limits) {}

  void topLevel(std::span<const std::uint8_t> body) {
    std::size_t off = 0;
    while (off < body.size()) {
      const Element e = element(body, off, "variable");
      if (e.type == miCOMPRESSED) {
        const std::vector<std::uint8_t> plain = inflate(e.data);
        const Element m = element(plain, 0, "compressed variable");
        if (m.type != miMATRIX) bad("a compressed variable holds no array");
        matrix(m.data, 0);
      } else if (e.type == miMATRIX) {
        matrix(e.data, 0);
      } else {
        bad("holds a data element of type " + std::to_string(e.type) + " outside any array");
      }
      off += e.consumed;
    }
  }

 private:
  bool swap_;
  const MatReadLimits& limits_;
  std::size_t inflated_ = 0;

  std::uint32_t u32(const std::uint8_t* p) const {
    std::uint32_t x;
    std::memcpy(&x, p, 4);
    return swap_ ? __builtin_bswap32(x) : x;
  }

  // The data element at `off` of `buf`; its data must lie inside `buf`. Compressed elements are
  // not padded; a missing final padding is tolerated.
  Element element(std::span<const std::uint8_t> buf, std::size_t off, const char* what) const {
    if (buf.size() - off < 8) bad(std::string(what) + " is truncated");
    const std::uint8_t* p = buf.data() + off;
    const std::uint32_t first = u32(p);
    Element e;
    if (first >> 16) {  // small element: size and type in the first word, data in the second
      e.type = first & 0xFFFF;
      const std::size_t n = first >> 16;
      if (n > 4) bad(std::string(what) + " has a damaged tag");
      e.data = buf.subspan(off + 4, n);
      e.consumed = 8;
      return e;
    }
    e.type = first;
    const std::size_t n = u32(p + 4);
    if (n > buf.size() - off - 8)
      bad(std::string(what) + " announces " + std::to_string(n) + " bytes but " +
          std::to_string(buf.size() - off - 8) + " remain");
    e.data = buf.subspan(off + 8, n);
    const std::size_t padded = e.type == miCOMPRESSED ? n : (n + 7) / 8 * 8;
    e.consumed = std::min(8 + padded, buf.size() - off);
    return e;
  }

  std::vector<std::uint8_t> inflate(std::span<const std::uint8_t> in) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) bad("cannot start decompression");
    std::vector<std::uint8_t> out;
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
      const std::size_t chunk = 64 * 1024;
      if (inflated_ + out.size() > limits_.maxFileBytes) {
        inflateEnd(&z);
        bad("compressed data expands beyond " + std::to_string(limits_.maxFileBytes) + " bytes");
      }
      const std::size_t before = out.size();
      out.resize(before + chunk);
      z.next_out = out.data() + before;
      z.avail_out = static_cast<uInt>(chunk);
      rc = ::inflate(&z, Z_NO_FLUSH);  // Z_BUF_ERROR: the input ended before the stream
      out.resize(before + chunk - z.avail_out);
    }
    inflateEnd(&z);
    if (rc != Z_STREAM_END) bad("compressed data is damaged or truncated");
    inflated_ += out.size();
    if (inflated_ > limits_.maxFileBytes)
      bad("compressed data expands beyond " + std::to_string(limits_.maxFileBytes) + " bytes");
    return out;
  }

  // The sub-element `what` at `off`, which must be of `type` (0: any).
  Element part(std::span<const std::uint8_t> buf, std::size_t& off, std::uint32_t type,
               const std::string& what) const {
    if (off >= buf.size()) bad(what + " is missing");
    const Element e = element(buf, off, what.c_str());
    if (type != 0 && e.type != type) bad(what + " has the wrong data type");
    off += e.consumed;
    return e;
  }

  void matrix(std::span<const std::uint8_t> m, std::size_t depth) {
    if (depth > limits_.maxDepth) bad("arrays nested too deeply");
    if (m.empty()) return;  // an empty array written as a bare tag
    std::size_t off = 0;
    const Element flags = part(m, off, miUINT32, "array flags");
    if (flags.data.size() < 8) bad("array flags are truncated");
    const std::uint32_t word = u32(flags.data.data());
    const std::uint32_t cls = word & 0xFF;
    const bool complex = (word & 0x0800) != 0;

    const Element dims = part(m, off, miINT32, "array dimensions");
    if (dims.data.size() < 8 || dims.data.size() % 4 != 0 || dims.data.size() > 32 * 4)
      bad("array dimensions are damaged");
    std::size_t numel = 1;
    for (std::size_t i = 0; i < dims.data.size(); i += 4) {
      const auto d = static_cast<std::int32_t>(u32(dims.data.data() + i));
      if (d < 0) bad("an array has a negative dimension");
      const auto ud = static_cast<std::size_t>(d);
      if (ud != 0 && numel > limits_.maxElements / ud) bad("an array is too large");
      numel *= ud;
    }
    const Element name = part(m, off, 0, "array name");
    const std::string vname(
        reinterpret_cast<const char*>(name.data.data()),
        strnlen(reinterpret_cast<const char*>(name.data.data()), name.data.size()));
    const std::string label = vname.empty() ? "an array" : "array '" + vname + "'";

    if (cls == mxCELL || cls == mxSTRUCT) {
      std::size_t count = numel;
      if (cls == mxSTRUCT) {
        const Element len = part(m, off, miINT32, label + " field name length");
        if (len.data.size() != 4) bad(label + " has a damaged field name length");
        const std::uint32_t width = u32(len.data.data());
        const Element names = part(m, off, miINT8, label + " field names");
        if (width == 0 || width > 4096 || names.data.size() % width != 0)
          bad(label + " has damaged field names");
        const std::size_t fields = names.data.size() / width;
        if (fields != 0 && numel > limits_.maxElements / fields) bad(label + " is too large");
        count = numel * fields;
      }
      // Every element is a tagged array of at least 8 bytes: a count the bytes cannot hold is
      // refused before anything is allocated for it.
      if (count > (m.size() - off) / 8)
        bad(label + " announces " + std::to_string(count) + " elements but holds at most " +
            std::to_string((m.size() - off) / 8));
      for (std::size_t i = 0; i < count; ++i) {
        const Element sub = part(m, off, miMATRIX, label + " element");
        matrix(sub.data, depth + 1);
      }
      return;
    }
    if (cls == mxCHAR) {
      if (numel == 0 && off >= m.size()) return;
      const Element text = part(m, off, 0, label + " characters");
      const std::size_t width = widthOf(text.type);
      if (width == 0 || text.type == miSINGLE || text.type == miDOUBLE)
        bad(label + " holds characters of an unknown type");
      if (text.type != miUTF8 && text.data.size() / width < numel) bad(label + " is truncated");
      return;
    }
    if (cls >= mxDOUBLE && cls <= mxUINT64) {
      if (numel == 0) return;
      for (int partIndex = 0; partIndex < (complex ? 2 : 1); ++partIndex) {
        const Element values =
            part(m, off, 0, label + (partIndex == 0 ? " real part" : " imaginary part"));
        const std::size_t width = widthOf(values.type);
        if (width == 0 || values.type == miUTF8 || values.type == miUTF16 || values.type == miUTF32)
          bad(label + " holds numbers of an unknown type");
        if (values.data.size() / width < numel) bad(label + " is truncated");
      }
      return;
    }
    bad(label + " is of a class this program does not read (" + std::to_string(cls) + ")");
  }
};

}  // namespace

void checkMat5Structure(std::span<const std::uint8_t> file, const MatReadLimits& limits) {
  if (file.size() < 128) bad("is too short for a MAT file");
  bool swap = false;
  if (file[126] == 'I' && file[127] == 'M')
    swap = false;
  else if (file[126] == 'M' && file[127] == 'I')
    swap = true;
  else
    bad("is not a MAT version 5 file");
  const unsigned version = swap ? (file[124] << 8 | file[125]) : (file[125] << 8 | file[124]);
  if (version != 0x0100) bad("is not a MAT version 5 file");
  Walker(swap, limits).topLevel(file.subspan(128));
}

}  // namespace kelvane::runtime::detail
