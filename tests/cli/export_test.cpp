// The files `calculate --format` writes carry the markers: the MAT file's markers matrix, and
// the SigMF annotations at the very samples where the markers are set, in metadata that keeps to
// the SigMF schema, for the 16-bit and the float recording alike.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>

#include "runtime/matfile.hpp"
#include "support/sigmf_schema.hpp"

namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class Export : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kelvane-cli-export-" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs kelvane-cli in the scratch folder; its exit code, standard output in out_.
  int cli(const std::string& args) {
    const std::string cmd = "cd '" + dir_.string() + "' && timeout 120 '" KELVANE_CLI "' " + args +
                            " </dev/null >out.txt 2>err.txt";
    const int status = std::system(cmd.c_str());
    out_ = slurp(dir_ / "out.txt");
    err_ = slurp(dir_ / "err.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  fs::path dir_;
  std::string out_, err_;
};

// Marker `row` (0 or 1) of sample i of a 2 x N markers matrix.
bool marker(const kelvane::runtime::Value& m, std::size_t row, std::size_t i) {
  return m.realData()[2 * i + row] != 0;
}

TEST_F(Export, MarkersGoWithTheMatFileAndSitUnderTheSigMFAnnotations) {
  ASSERT_EQ(cli("calculate --set trafficChannelDRCValue=6 --set trafficChannelPackets=2 "
                "--set oversampleRatio=2 --out files --format mat,sigmf,sigmf-cf32"),
            0)
      << err_;
  std::smatch match;
  ASSERT_TRUE(std::regex_search(out_, match, std::regex("wrote (\\S+)\\.mat"))) << out_;
  const fs::path base = dir_ / fs::path(match[1].str());

  const auto vars = kelvane::runtime::readMatFile(base.string() + ".mat");
  const auto* markers = kelvane::runtime::findVariable(vars, "markers");
  ASSERT_NE(markers, nullptr);
  const std::size_t n =
      static_cast<std::size_t>(kelvane::runtime::findVariable(vars, "samplePoints")->toDouble());
  ASSERT_EQ(markers->rows(), 2u);
  ASSERT_EQ(markers->cols(), n);
  // The synthesis: 16 slots at least, the marker-1 pulse one chip (2 samples) every half slot.
  std::size_t pulses = 0, gates = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const bool rises1 = marker(*markers, 0, i) && (i == 0 || !marker(*markers, 0, i - 1));
    const bool rises2 = marker(*markers, 1, i) && (i == 0 || !marker(*markers, 1, i - 1));
    pulses += rises1;
    gates += rises2;
    if (rises1) {
      EXPECT_EQ(i % 2048, 0u) << i;
    }
  }
  EXPECT_EQ(pulses, n / 2048);
  EXPECT_GT(gates, 0u);

  const auto meta = nlohmann::json::parse(slurp(base.string() + ".sigmf-meta"));
  EXPECT_EQ(kelvane::testing::sigmfSchemaProblems(meta), std::vector<std::string>{});
  EXPECT_EQ(meta["global"]["core:datatype"], "ci16_le");
  EXPECT_EQ(fs::file_size(base.string() + ".sigmf-data"), 4 * n);
  std::size_t slotNotes = 0, gateNotes = 0;
  for (const auto& a : meta["annotations"]) {
    const std::size_t start = a["core:sample_start"], count = a["core:sample_count"];
    ASSERT_LE(start + count, n);
    const std::string label = a["core:label"];
    if (label.rfind("slot ", 0) == 0) {
      ++slotNotes;
      EXPECT_TRUE(marker(*markers, 0, start)) << label;
      if (start > 0) {
        EXPECT_FALSE(marker(*markers, 0, start - 1)) << label;
      }
      EXPECT_EQ(count, start + 2048 <= n ? 2048u : n - start) << label;
    } else {
      ++gateNotes;
      EXPECT_EQ(label, "RF on (marker 2)");
      for (std::size_t i = start; i < start + count; ++i)
        ASSERT_TRUE(marker(*markers, 1, i)) << i;
      if (start > 0) {
        EXPECT_FALSE(marker(*markers, 1, start - 1));
      }
      if (start + count < n) {
        EXPECT_FALSE(marker(*markers, 1, start + count));
      }
    }
  }
  EXPECT_EQ(slotNotes, pulses);
  EXPECT_EQ(gateNotes, gates);

  // The float recording beside it: the same annotations, the samples of the MAT file's wave.
  const std::string floatBase = base.string() + "-cf32";
  const auto floatMeta = nlohmann::json::parse(slurp(floatBase + ".sigmf-meta"));
  EXPECT_EQ(kelvane::testing::sigmfSchemaProblems(floatMeta), std::vector<std::string>{});
  EXPECT_EQ(floatMeta["global"]["core:datatype"], "cf32_le");
  EXPECT_EQ(floatMeta["annotations"], meta["annotations"]);
  const std::string data = slurp(floatBase + ".sigmf-data");
  ASSERT_EQ(data.size(), 8 * n);
  const auto& wave = kelvane::runtime::findVariable(vars, "wave")->realData();  // N x 2
  for (std::size_t i = 0; i < n; i += 997) {
    float iq[2];
    std::memcpy(iq, data.data() + 8 * i, sizeof iq);
    EXPECT_EQ(iq[0], static_cast<float>(wave[i])) << i;
    EXPECT_EQ(iq[1], static_cast<float>(wave[n + i])) << i;
  }
}

}  // namespace
