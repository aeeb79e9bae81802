// Writes well-formed seed files for fuzz_parameter_file into the folder given as argument:
// parameter and configuration files, compressed and not, and files of every value kind.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/records.hpp"
#include "frame/parameter_file.hpp"
#include "instrument/records_value.hpp"
#include "runtime/matfile.hpp"

int main(int argc, char** argv) {
  using kelvane::runtime::MatVariable;
  using kelvane::runtime::MatWriteOptions;
  using kelvane::runtime::Value;
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds FOLDER\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);

  kelvane::app::Parameters changed;
  changed.trafficChannelDRCValue = 12;
  changed.trafficChannelWaveformName = "T1";
  Value packets = Value::recordArray({"drcValue", "packet", "macIndex"}, 2);
  for (std::size_t i = 0; i < 2; ++i) {
    packets.field("drcValue", i) = Value::scalar(4);
    packets.field("packet", i) = Value::row({1, 0, 0, 1});
    packets.field("macIndex", i) = Value::int32(7);
  }
  const Value kinds = Value::record({{"z", Value::complexRow({{1, -1}, {0.5, 2}})},
                                     {"list", Value::list({Value::text("a"), Value::scalar(2)})},
                                     {"packets", packets},
                                     {"empty", Value()},
                                     {"m", Value::matrix(2, 2, {1, 2, 3, 4})}});
  const std::vector<std::pair<std::string, std::vector<MatVariable>>> files = {
      {"startup",
       {{"fileParameters", kelvane::app::toValue(kelvane::app::Parameters{})},
        {"filename", Value::text("/tmp/startup.mat")}}},
      {"changed", {{"fileParameters", kelvane::app::toValue(changed)}}},
      {"config",
       {{"fileParameters", kelvane::instrument::toValue(kelvane::instrument::Configuration{})}}},
      {"kinds", {{"fileParameters", kinds}, {"samples", Value::complexColumn({{1, 0}, {0, 1}})}}},
  };
  for (const auto& [name, vars] : files) {
    kelvane::runtime::writeMatFile(dir / (name + "-z.mat"), vars);
    kelvane::runtime::writeMatFile(dir / (name + ".mat"), vars, MatWriteOptions{false});
  }
  return 0;
}
