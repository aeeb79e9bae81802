// libFuzzer target: arbitrary bytes as a parameter file and as the configuration file. The
// loaders must refuse what they cannot use with a message and never crash, and whatever the
// parameter check accepts must be a record the application can install.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/records.hpp"
#include "app/validation.hpp"
#include "frame/parameter_file.hpp"
#include "instrument/records_value.hpp"
#include "runtime/matfile.hpp"

namespace {

std::string path;
int fd = -1;

void writeInput(const std::uint8_t* data, std::size_t size) {
  if (::ftruncate(fd, 0) != 0) std::abort();
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  char name[] = "/tmp/kelvane-fuzz-XXXXXX";
  fd = ::mkstemp(name);
  if (fd < 0) std::abort();
  path = name;
  std::atexit([] { ::unlink(path.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kelvane::runtime::Value;
  writeInput(data, size);

  static const Value current = kelvane::app::toValue(kelvane::app::Parameters{});
  const auto result = kelvane::frame::readParameterFile(path, current);
  if (result.parameters) {
    // Accepted by the check: the application's conversion must take it (a throw is a finding).
    const auto p = kelvane::app::parametersFromValue(*result.parameters);
    (void)kelvane::app::parameterProblems(p);
  } else if (result.message.empty()) {
    std::abort();  // a refusal always says why
  }

  // The configuration loader's path: the record, then the instrument's conversion.
  try {
    const auto vars = kelvane::runtime::readMatFile(path);
    for (const auto& v : vars)
      (void)kelvane::frame::compareStruct(v.value, v.value);
    if (const Value* cfg = kelvane::runtime::findVariable(vars, "fileParameters")) {
      try {
        (void)kelvane::instrument::configurationFromValue(*cfg);
      } catch (const kelvane::runtime::Error&) {
      }
    }
  } catch (const kelvane::runtime::Error&) {
  }
  return 0;
}
