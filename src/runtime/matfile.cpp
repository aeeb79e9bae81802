#include "runtime/matfile.hpp"

#include <algorithm>
#include <cstdint>
#include <fstream>

#include "runtime/mat5_check.hpp"
#include "runtime/matio_plugin.hpp"

namespace kelvane::runtime {

namespace {

// A MAT version 7.3 file: an HDF5 file behind a MAT header whose version word is 0x0200, in
// either byte order (HDF5 checks the rest).
bool isMat73(std::span<const std::uint8_t> file) {
  if (file.size() < 128) return false;
  const bool le = file[126] == 'I' && file[127] == 'M';
  const bool be = file[126] == 'M' && file[127] == 'I';
  const unsigned version = le ? (file[125] << 8 | file[124]) : (file[124] << 8 | file[125]);
  return (le || be) && version == 0x0200;
}

}  // namespace

void writeMatFile(const std::filesystem::path& path, std::span<const MatVariable> variables,
                  MatWriteOptions options) {
  detail::matioFunctions().write(path, variables, options);
}

std::vector<MatVariable> readMatFile(const std::filesystem::path& path, MatReadLimits limits,
                                     std::span<const std::string> names) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) throw Error("File " + path.string() + ": cannot be read: " + ec.message());
  if (size > limits.maxFileBytes) throw Error("File " + path.string() + ": is too large");
  std::ifstream in(path, std::ios::binary);
  // The header tells a version 7.3 file, which HDF5 and libmatio read from the file itself.
  std::vector<std::uint8_t> bytes(std::min<std::uintmax_t>(size, 128));
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size())))
    throw Error("File " + path.string() + ": cannot be read");
  try {
    if (isMat73(bytes)) return detail::matioFunctions().readMat73(path, limits, names);
    const std::size_t head = bytes.size();
    bytes.resize(size);
    if (size > head && !in.read(reinterpret_cast<char*>(bytes.data() + head),
                                static_cast<std::streamsize>(size - head)))
      throw Error("File " + path.string() + ": cannot be read");
    return detail::decodeMat5(bytes, limits, names);
  } catch (const Error&) {
    throw;
  } catch (const std::runtime_error& e) {
    throw Error("File " + path.string() + ": " + e.what());
  }
}

const Value* findVariable(std::span<const MatVariable> variables, std::string_view name) {
  for (const auto& v : variables)
    if (v.name == name) return &v.value;
  return nullptr;
}

}  // namespace kelvane::runtime
