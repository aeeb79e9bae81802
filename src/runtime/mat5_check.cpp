#include "runtime/mat5_check.hpp"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <complex>
#include <cstring>
#include <limits>
#include <optional>
#include <set>
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
enum : std::uint32_t {
  mxCELL = 1,
  mxSTRUCT = 2,
  mxCHAR = 4,
  mxDOUBLE = 6,
  mxSINGLE = 7,
  mxINT32 = 12,
  mxUINT64 = 15
};

// What an entry of a std::set takes beyond its value: the tree node's links and colour, and
// the allocator's own bookkeeping.
constexpr std::size_t kSetEntryBytes = 64;

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

bool isTextType(std::uint32_t type) {
  return type == miUTF8 || type == miUTF16 || type == miUTF32;
}

// a * b, or the largest size where that would overflow: a cost to compare against a budget.
std::size_t timesSaturated(std::size_t a, std::size_t b) {
  if (a != 0 && b > std::numeric_limits<std::size_t>::max() / a)
    return std::numeric_limits<std::size_t>::max();
  return a * b;
}

// Appends character `code` of a text with characters `width` bytes wide: 8-bit characters byte
// for byte, wider ones encoded as UTF-8.
void appendCharacter(std::string& s, std::uint32_t code, std::size_t width) {
  if (code < 0x80 || width == 1) {
    s += static_cast<char>(code);
  } else if (code < 0x800) {
    s += static_cast<char>(0xC0 | (code >> 6));
    s += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    s += static_cast<char>(0xE0 | (code >> 12));
    s += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x110000) {
    s += static_cast<char>(0xF0 | (code >> 18));
    s += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    s += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    s += '?';
  }
}

// A version 4 file starts with five 32-bit words (type, rows, columns, imaginary flag, name
// length) and the name with its terminating zero; the type's decimal digits are MOPT with O
// zero, P (precision) at most 5 and T (numeric, text, sparse) at most 2.
bool isMat4(std::span<const std::uint8_t> file) {
  if (file.size() < 20) return false;
  for (const bool swap : {false, true}) {
    auto word = [&](std::size_t i) {
      std::uint32_t x;
      std::memcpy(&x, file.data() + 4 * i, 4);
      return swap ? __builtin_bswap32(x) : x;
    };
    const std::uint32_t type = word(0), namelength = word(4);
    const bool typeOk =
        type < 5000 && (type / 100) % 10 == 0 && (type / 10) % 10 <= 5 && type % 10 <= 2;
    if (typeOk && word(1) < 0x80000000u && word(2) < 0x80000000u && word(3) <= 1 &&
        namelength >= 1 && namelength <= file.size() - 20 && file[20 + namelength - 1] == 0)
      return true;
  }
  return false;
}

// Whether the numbers of a version 5 file are in the other byte order than this computer's;
// refuses anything but a version 5 file.
bool byteSwapped(std::span<const std::uint8_t> file) {
  const bool marked = file.size() >= 128 && ((file[126] == 'I' && file[127] == 'M') ||
                                             (file[126] == 'M' && file[127] == 'I'));
  if (!marked && isMat4(file)) bad("is a MAT version 4 file, which is not supported");
  if (file.size() < 128) bad("is too short for a MAT file");
  if (!marked) bad("is not a MAT version 5 file");
  const bool swap = file[126] == 'M';
  const unsigned version = swap ? (file[124] << 8 | file[125]) : (file[125] << 8 | file[124]);
  if (version == 0x0200) bad("is not a MAT version 5 file (version 7.3, HDF5, is not supported)");
  if (version != 0x0100) bad("is not a MAT version 5 file");
  return swap;
}

struct Element {
  std::uint32_t type = 0;
  std::span<const std::uint8_t> data;
  std::size_t consumed = 0;  // tag, data and padding
};

// What every array starts with: flags, dimensions, name.
struct ArrayHeader {
  std::uint32_t cls = 0;
  bool complex = false;
  std::size_t rows = 0, cols = 0, numel = 0;
  std::string name;
  std::string label;  // "record 'x'", "a list", for messages
};

// `name` as it may be shown in a message: bytes that are no printable ASCII become '?', so that
// a damaged name cannot upset the terminal it is printed on.
std::string printable(const std::string& name) {
  std::string out = name;
  for (char& c : out)
    if (c < 0x20 || c > 0x7E) c = '?';
  return out;
}

std::string labelOf(std::uint32_t cls, const std::string& name) {
  const char* kind = cls == mxSTRUCT ? "record"
                     : cls == mxCELL ? "list"
                     : cls == mxCHAR ? "text"
                                     : "array";
  if (!name.empty()) return std::string(kind) + " '" + printable(name) + "'";
  return std::string(cls == mxSTRUCT || cls == mxCELL || cls == mxCHAR ? "a " : "an ") + kind;
}

class Decoder {
 public:
  Decoder(bool swap, const MatReadLimits& limits, std::size_t fileBytes)
      : swap_(swap),
        limits_(limits),
        maxDepth_(std::min(limits.maxDepth, kMaxNesting)),
        budget_(kReadFixedBudget + timesSaturated(kReadBytesFactor, fileBytes)) {}

  std::vector<MatVariable> topLevel(std::span<const std::uint8_t> body,
                                    std::span<const std::string> names) {
    std::vector<MatVariable> out;
    std::size_t off = 0;
    while (off < body.size()) {
      const Element e = element(body, off, "variable");
      off += e.consumed;
      if (e.type == miCOMPRESSED) {
        const std::vector<std::uint8_t> plain = inflate(e.data);
        const Element m = element(plain, 0, "compressed variable");
        if (m.type != miMATRIX) bad("a compressed variable holds no array");
        variable(m.data, names, out);
      } else if (e.type == miMATRIX) {
        variable(e.data, names, out);
      } else {
        bad("holds a data element of type " + std::to_string(e.type) + " outside any array");
      }
    }
    return out;
  }

 private:
  bool swap_;
  const MatReadLimits& limits_;
  std::size_t maxDepth_;
  std::size_t budget_;    // bytes the values may take
  std::size_t used_ = 0;  // bytes the values built so far take
  std::size_t inflated_ = 0;

  std::uint16_t u16(const std::uint8_t* p) const {
    std::uint16_t x;
    std::memcpy(&x, p, 2);
    return swap_ ? __builtin_bswap16(x) : x;
  }
  std::uint32_t u32(const std::uint8_t* p) const {
    std::uint32_t x;
    std::memcpy(&x, p, 4);
    return swap_ ? __builtin_bswap32(x) : x;
  }
  std::uint64_t u64(const std::uint8_t* p) const {
    std::uint64_t x;
    std::memcpy(&x, p, 8);
    return swap_ ? __builtin_bswap64(x) : x;
  }

  // Takes `bytes` of the budget for the values of `label`, or refuses it.
  void charge(std::size_t bytes, const std::string& label) {
    if (bytes > budget_ - used_)
      bad(label + " is too large to read (" + std::to_string(bytes >> 20) + " MB)");
    used_ += bytes;
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

  // The sub-element `what` at `off`, which must be of `type` (0: any).
  Element part(std::span<const std::uint8_t> buf, std::size_t& off, std::uint32_t type,
               const std::string& what) const {
    if (off >= buf.size()) bad(what + " is missing");
    const Element e = element(buf, off, what.c_str());
    if (type != 0 && e.type != type) bad(what + " has the wrong data type");
    off += e.consumed;
    return e;
  }

  // Inflates a compressed variable into a buffer that never grows beyond what is left of
  // limits.maxFileBytes; what it holds widens the budget of the values.
  std::vector<std::uint8_t> inflate(std::span<const std::uint8_t> in) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) bad("cannot start decompression");
    std::vector<std::uint8_t> out;
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    int rc = Z_OK;
    while (rc == Z_OK) {
      const std::size_t chunk = std::size_t{64} << 10;
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
    budget_ += timesSaturated(kReadBytesFactor, out.size());
    return out;
  }

  // A top-level array: converted when it is one of `names` (or `names` is empty), else checked.
  void variable(std::span<const std::uint8_t> m, std::span<const std::string> names,
                std::vector<MatVariable>& out) {
    if (m.empty()) bad("holds a variable without a name");
    std::size_t off = 0;
    const ArrayHeader h = header(m, off);
    if (h.name.empty()) bad("holds a variable without a name");
    const bool wanted =
        names.empty() || std::find(names.begin(), names.end(), h.name) != names.end();
    Value v = contents(m, off, h, 0, wanted);
    if (wanted) out.push_back({h.name, std::move(v)});
  }

  // The array `m` at nesting `depth`, converted when `build`, else only checked.
  Value array(std::span<const std::uint8_t> m, std::size_t depth, bool build) {
    if (depth > maxDepth_)
      bad("records or lists nested more than " + std::to_string(maxDepth_) + " deep");
    if (m.empty()) return Value();  // an empty array written as a bare tag
    std::size_t off = 0;
    const ArrayHeader h = header(m, off);
    return contents(m, off, h, depth, build);
  }

  ArrayHeader header(std::span<const std::uint8_t> m, std::size_t& off) const {
    ArrayHeader h;
    const Element flags = part(m, off, miUINT32, "array flags");
    if (flags.data.size() < 8) bad("array flags are truncated");
    const std::uint32_t word = u32(flags.data.data());
    h.cls = word & 0xFF;
    h.complex = (word & 0x0800) != 0;
    const Element dims = part(m, off, miINT32, "array dimensions");
    if (dims.data.size() < 8 || dims.data.size() % 4 != 0 || dims.data.size() > std::size_t{32} * 4)
      bad("array dimensions are damaged");
    const Element name = part(m, off, 0, "array name");
    h.name.assign(reinterpret_cast<const char*>(name.data.data()),
                  strnlen(reinterpret_cast<const char*>(name.data.data()), name.data.size()));
    h.label = labelOf(h.cls, h.name);
    h.numel = 1;
    for (std::size_t i = 0; i < dims.data.size(); i += 4) {
      const auto d = static_cast<std::int32_t>(u32(dims.data.data() + i));
      if (d < 0) bad(h.label + " has a negative dimension");
      const auto ud = static_cast<std::size_t>(d);
      if (ud != 0 && h.numel > limits_.maxElements / ud) bad(h.label + " is too large");
      h.numel *= ud;
    }
    if (dims.data.size() != 8) bad(h.label + " is not a 2-D array");
    h.rows = u32(dims.data.data());
    h.cols = u32(dims.data.data() + 4);
    return h;
  }

  Value contents(std::span<const std::uint8_t> m, std::size_t off, const ArrayHeader& h,
                 std::size_t depth, bool build) {
    if (h.cls == mxSTRUCT) return records(m, off, h, depth, build);
    if (h.cls == mxCELL) return cells(m, off, h, depth, build);
    if (h.cls == mxCHAR) return characters(m, off, h, build);
    if (h.cls >= mxDOUBLE && h.cls <= mxUINT64) return numbers(m, off, h, build);
    bad(h.label + " is of a class this program does not read (" + std::to_string(h.cls) + ")");
  }

  // Every element of a record or list is a tagged array of at least 8 bytes: a count the bytes
  // cannot hold is refused before anything is allocated for it.
  static void elementsFit(std::span<const std::uint8_t> m, std::size_t off, std::size_t count,
                          const std::string& label) {
    if (count > (m.size() - off) / 8)
      bad(label + " announces " + std::to_string(count) + " elements but holds at most " +
          std::to_string((m.size() - off) / 8));
  }

  // The field names of a record; each costs a text and an entry of the set that finds names
  // given twice, charged before they are built.
  std::vector<std::string> fieldNames(std::span<const std::uint8_t> m, std::size_t& off,
                                      const ArrayHeader& h) {
    const Element len = part(m, off, miINT32, h.label + " field name length");
    if (len.data.size() != 4) bad(h.label + " has a damaged field name length");
    const std::uint32_t width = u32(len.data.data());
    const Element names = part(m, off, miINT8, h.label + " field names");
    if (width == 0 || width > 4096 || names.data.size() % width != 0)
      bad(h.label + " has damaged field names");
    const std::size_t count = names.data.size() / width;
    charge(timesSaturated(count, 2 * sizeof(std::string) + kSetEntryBytes) + 2 * names.data.size(),
           h.label);
    std::vector<std::string> out;
    out.reserve(count);
    std::set<std::string> seen;
    for (std::size_t at = 0; at < names.data.size(); at += width) {
      const char* p = reinterpret_cast<const char*>(names.data.data() + at);
      out.emplace_back(p, strnlen(p, width));
      if (!seen.insert(out.back()).second)
        bad(h.label + " has two fields named '" + printable(out.back()) + "'");
    }
    return out;
  }

  Value records(std::span<const std::uint8_t> m, std::size_t off, const ArrayHeader& h,
                std::size_t depth, bool build) {
    std::vector<std::string> names = fieldNames(m, off, h);
    const std::size_t fields = names.size();
    if (fields != 0 && h.numel > limits_.maxElements / fields) bad(h.label + " is too large");
    elementsFit(m, off, h.numel * fields, h.label);
    if (h.rows > 1 && h.cols > 1) bad(h.label + " is not a row of records");
    if (build)
      charge(timesSaturated(h.numel, sizeof(std::vector<Value>) + fields * sizeof(Value)), h.label);
    std::vector<std::vector<Value>> elements;
    if (build) elements.reserve(h.numel);
    for (std::size_t e = 0; e < h.numel; ++e) {
      std::vector<Value> one;
      if (build) one.reserve(fields);
      for (std::size_t f = 0; f < fields; ++f) {
        const Element sub = part(m, off, miMATRIX, h.label + " element");
        Value v = array(sub.data, depth + 1, build);
        if (build) one.push_back(std::move(v));
      }
      if (build) elements.push_back(std::move(one));
    }
    if (!build) return Value();
    return Value::recordArray(std::move(names), std::move(elements));
  }

  Value cells(std::span<const std::uint8_t> m, std::size_t off, const ArrayHeader& h,
              std::size_t depth, bool build) {
    elementsFit(m, off, h.numel, h.label);
    if (build) charge(timesSaturated(h.numel, sizeof(Value)), h.label);
    std::vector<Value> items;
    if (build) items.reserve(h.numel);
    for (std::size_t i = 0; i < h.numel; ++i) {
      const Element sub = part(m, off, miMATRIX, h.label + " element");
      Value v = array(sub.data, depth + 1, build);
      if (build) items.push_back(std::move(v));
    }
    if (!build) return Value();
    Value list = Value::list(std::move(items));
    return h.numel == 0 ? list : list.reshaped(h.rows, h.cols);
  }

  std::uint32_t characterAt(const Element& text, std::size_t width, std::size_t i) const {
    const std::uint8_t* p = text.data.data() + i * width;
    if (width == 1) return *p;
    return width == 2 ? u16(p) : u32(p);
  }

  Value characters(std::span<const std::uint8_t> m, std::size_t off, const ArrayHeader& h,
                   bool build) {
    if (h.numel == 0 && off >= m.size()) return Value::text("");
    const Element text = part(m, off, 0, h.label + " characters");
    const std::size_t width = widthOf(text.type);
    if (width == 0 || width == 8 || text.type == miSINGLE)
      bad(h.label + " holds characters of an unknown type");
    // A one-line UTF-8 text may hold fewer bytes than characters announced; a character matrix
    // is indexed by position and needs every one.
    const bool utf8 = text.type == miUTF8;
    const std::size_t have = text.data.size() / width;
    if (have < h.numel && !(utf8 && h.rows <= 1)) bad(h.label + " is truncated");
    if (h.numel == 0) return Value::text("");
    if (!build) return Value();
    if (h.rows <= 1) {
      const std::size_t n = std::min(have, h.numel);
      charge(sizeof(Value) + timesSaturated(n, 4), h.label);
      std::string s;
      for (std::size_t i = 0; i < n; ++i)
        appendCharacter(s, characterAt(text, width, i), width);
      return Value::text(s);
    }
    // A character matrix: one text per row (stored column-major).
    charge(timesSaturated(h.rows, sizeof(Value)) + timesSaturated(h.numel, 4), h.label);
    std::vector<Value> lines;
    for (std::size_t r = 0; r < h.rows; ++r) {
      std::string line;
      for (std::size_t c = 0; c < h.cols; ++c)
        appendCharacter(line, characterAt(text, width, c * h.rows + r), width);
      lines.push_back(Value::text(line));
    }
    return Value::list(std::move(lines)).reshaped(h.rows, 1);
  }

  // The real or imaginary part of a numeric array: numbers of a known type, one per element.
  Element numericPart(std::span<const std::uint8_t> m, std::size_t& off, const ArrayHeader& h,
                      const char* what) const {
    const Element values = part(m, off, 0, h.label + what);
    const std::size_t width = widthOf(values.type);
    if (width == 0 || isTextType(values.type)) bad(h.label + " holds numbers of an unknown type");
    if (values.data.size() / width < h.numel) bad(h.label + " is truncated");
    return values;
  }

  // Element `i` of `values` as a double; a single-precision array keeps single precision,
  // whatever type its numbers are stored as.
  double numberAt(const Element& values, std::size_t i, std::uint32_t cls) const {
    const std::uint8_t* p = values.data.data() + i * widthOf(values.type);
    double x = 0;
    switch (values.type) {
      case miINT8:
        x = static_cast<std::int8_t>(*p);
        break;
      case miUINT8:
        x = *p;
        break;
      case miINT16:
        x = static_cast<std::int16_t>(u16(p));
        break;
      case miUINT16:
        x = u16(p);
        break;
      case miINT32:
        x = static_cast<std::int32_t>(u32(p));
        break;
      case miUINT32:
        x = u32(p);
        break;
      case miSINGLE:
        x = std::bit_cast<float>(u32(p));
        break;
      case miINT64:
        x = static_cast<double>(static_cast<std::int64_t>(u64(p)));
        break;
      case miUINT64:
        x = static_cast<double>(u64(p));
        break;
      default:  // miDOUBLE
        x = std::bit_cast<double>(u64(p));
    }
    return cls == mxSINGLE ? static_cast<float>(x) : x;
  }

  Value numbers(std::span<const std::uint8_t> m, std::size_t off, const ArrayHeader& h,
                bool build) {
    if (h.numel == 0) return build ? Value::emptyMatrix(h.rows, h.cols) : Value();
    const Element re = numericPart(m, off, h, " real part");
    std::optional<Element> im;
    if (h.complex) im = numericPart(m, off, h, " imaginary part");
    if (!build) return Value();
    charge(timesSaturated(h.numel, h.complex ? 16 : 8), h.label);
    if (im) {
      std::vector<std::complex<double>> z(h.numel);
      for (std::size_t i = 0; i < h.numel; ++i)
        z[i] = {numberAt(re, i, h.cls), numberAt(*im, i, h.cls)};
      return Value::complexMatrix(h.rows, h.cols, std::move(z));
    }
    std::vector<double> d(h.numel);
    for (std::size_t i = 0; i < h.numel; ++i)
      d[i] = numberAt(re, i, h.cls);
    Value out = Value::matrix(h.rows, h.cols, std::move(d));
    return h.cls == mxINT32 ? out.withNumClass(NumClass::Int32) : out;
  }
};

}  // namespace

std::vector<MatVariable> decodeMat5(std::span<const std::uint8_t> file, const MatReadLimits& limits,
                                    std::span<const std::string> names) {
  const bool swap = byteSwapped(file);
  return Decoder(swap, limits, file.size()).topLevel(file.subspan(128), names);
}

}  // namespace kelvane::runtime::detail
