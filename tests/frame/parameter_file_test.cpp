// Parameter files: the round trip of every field, the three refusals, files that lack a field or
// hold one of the wrong kind, damaged and hostile files; parameters stay as they were after
// every failure.
#include <cstring>

#include "app/records.hpp"
#include "frame/parameter_file.hpp"
#include "frame_fixture.hpp"
#include "runtime/matfile.hpp"

namespace kelvane::frame::testing {
namespace {

using toolkit::ScriptedDialogs;

// Every field away from its start-up value.
app::Parameters everyFieldChanged() {
  app::Parameters p;
  p.trafficChannelDRCValue = 12;
  p.trafficChannelPayload = 3;
  p.trafficChannelMACIndex = 63;
  p.trafficChannelPackets = 16;
  p.controlChannelDRCValue = 2;
  p.pilotOffsetIndex = 511;
  p.oversampleRatio = 24;
  p.filterType = 3;
  p.phaseEqualizationActive = 0;
  p.mirrorSpectrumActive = 1;
  p.trafficChannelWaveformName = "Trf.wfm_1";
  p.trafficChannelWaveformReps = -3;
  p.controlChannelWaveformName = "ctl-A";
  p.controlChannelWaveformReps = 7;
  p.sequenceFileName = "SEQ";
  p.autoCalculateReps = 0;
  p.ProjectedLength = 3 * 32768 * 24;
  p.BandClass = 0;
  p.TransmitterType = 0;
  p.ChannelNumber = 1013;
  p.Frequency = 824.7e6;
  p.Amplitude = -136;
  return p;
}

using ParameterFile = FrameTest;

TEST_F(ParameterFile, RoundTripRestoresEveryField) {
  const fs::path file = dir_ / "all.mat";
  const Value saved = app::toValue(everyFieldChanged());
  ASSERT_NE(saved, parameters());
  saveParameters(file.string(), saved);
  EXPECT_TRUE(dialogs_.shown().empty());

  // A MAT version 5 file whose variables are compressed.
  const auto bytes = readBytes(file);
  ASSERT_GT(bytes.size(), 136u);
  EXPECT_EQ(std::string(bytes.data(), 10), "MATLAB 5.0");
  std::uint32_t firstType = 0;
  std::memcpy(&firstType, bytes.data() + 128, 4);
  EXPECT_EQ(firstType, 15u);  // miCOMPRESSED
  const auto vars = runtime::readMatFile(file);
  ASSERT_EQ(vars.size(), 2u);
  EXPECT_EQ(vars[0].name, "fileParameters");
  EXPECT_EQ(vars[1].name, "filename");
  EXPECT_EQ(vars[1].value.str(), file.string());

  const Value handles = Value::record({{"main", Value::handle(1)}});
  EXPECT_TRUE(loadParameters(file.string(), handles));
  EXPECT_EQ(parameters(), saved) << parameters().toString();
  const app::Parameters back = app::parametersFromValue(parameters());
  EXPECT_EQ(back.trafficChannelWaveformName, "Trf.wfm_1");
  EXPECT_EQ(back.controlChannelWaveformName, "ctl-A");
  EXPECT_EQ(back.trafficChannelWaveformReps, -3);
  EXPECT_EQ(back.controlChannelWaveformReps, 7);
  EXPECT_EQ(back.sequenceFileName, "SEQ");
  EXPECT_TRUE(dialogs_.shown().empty());
  // The application's redraw ran once with the handles.
  EXPECT_EQ(RedrawLog::calls, 1);
  EXPECT_EQ(RedrawLog::lastHandles, handles);
}

TEST_F(ParameterFile, FieldsAreLookedUpByNameAndExtraFieldsDropped) {
  const fs::path file = dir_ / "reordered.mat";
  const Value saved = app::toValue(everyFieldChanged());
  Value reordered = Value::record();
  for (auto it = saved.fieldNames().rbegin(); it != saved.fieldNames().rend(); ++it)
    reordered.setField(*it, saved.field(*it));
  reordered.setField("SomeLaterField", Value::text("ignored"));
  writeParameterFile(file, reordered);
  EXPECT_TRUE(loadParameters(file.string(), Value()));
  EXPECT_EQ(parameters(), saved);
  EXPECT_EQ(parameters().fieldNames(), app::parameterFieldNames());
}

// A file written with a changed `fileParameters` record.
struct Refusal {
  const char* what;
  std::vector<runtime::MatVariable> (*variables)(Value good);
  const char* message;
};

Value with(Value v, const char* field, Value x) {
  v.setField(field, std::move(x));
  return v;
}
Value without(Value v, const char* field) {
  v.removeField(field);
  return v;
}

TEST_F(ParameterFile, RefusalsNameTheFileAndLeaveParametersUnchanged) {
  const std::vector<Refusal> cases = {
      {"no fileParameters",
       [](Value good) {
         return std::vector<runtime::MatVariable>{{"parameters", good}};
       },
       kInvalidFormat},
      {"no format identifier",
       [](Value good) {
         return std::vector<runtime::MatVariable>{
             {"fileParameters", without(good, "ParameterFileFormat_ID")}};
       },
       kInvalidStructure},
      {"fileParameters not a record",
       [](Value) {
         return std::vector<runtime::MatVariable>{{"fileParameters", Value::scalar(1)}};
       },
       kInvalidStructure},
      {"other format",
       [](Value good) {
         return std::vector<runtime::MatVariable>{
             {"fileParameters",
              with(good, "ParameterFileFormat_ID", Value::text("Qarn-FTM - Format 2.0"))}};
       },
       kInvalidParameterId},
      {"format in other case",
       [](Value good) {
         return std::vector<runtime::MatVariable>{
             {"fileParameters",
              with(good, "ParameterFileFormat_ID", Value::text("qarn-ftm - format 1.0"))}};
       },
       kInvalidParameterId},
      {"numeric format identifier",
       [](Value good) {
         return std::vector<runtime::MatVariable>{
             {"fileParameters", with(good, "ParameterFileFormat_ID", Value::scalar(1))}};
       },
       kInvalidParameterId},
      {"a field missing",
       [](Value good) {
         return std::vector<runtime::MatVariable>{{"fileParameters", without(good, "Amplitude")}};
       },
       kInvalidStructure},
      {"a name missing",
       [](Value good) {
         return std::vector<runtime::MatVariable>{
             {"fileParameters", without(good, "trafficChannelWaveformName")}};
       },
       kInvalidStructure},
      {"number as text",
       [](Value good) {
         return std::vector<runtime::MatVariable>{
             {"fileParameters", with(good, "oversampleRatio", Value::text("5"))}};
       },
       kInvalidStructure},
      {"text as number",
       [](Value good) {
         return std::vector<runtime::MatVariable>{
             {"fileParameters", with(good, "sequenceFileName", Value::scalar(5))}};
       },
       kInvalidStructure},
      {"vector for a number",
       [](Value good) {
         return std::vector<runtime::MatVariable>{
             {"fileParameters", with(good, "Frequency", Value::row({1, 2}))}};
       },
       kInvalidStructure},
      {"complex for a number",
       [](Value good) {
         return std::vector<runtime::MatVariable>{
             {"fileParameters", with(good, "Amplitude", Value::complexScalar({1, 1}))}};
       },
       kInvalidStructure},
      {"record for a number",
       [](Value good) {
         return std::vector<runtime::MatVariable>{
             {"fileParameters", with(good, "BandClass", Value::record())}};
       },
       kInvalidStructure},
  };
  // Parameters away from the start-up values, to see that nothing of a refused file arrives.
  const Value before = app::toValue(everyFieldChanged());
  registry::setVariable("parameters", before);
  const Value good = app::toValue(app::Parameters{});
  for (const auto& c : cases) {
    const fs::path file = dir_ / "refused.mat";
    runtime::writeMatFile(file, c.variables(good));
    dialogs_.clear();
    EXPECT_FALSE(loadParameters(file.string(), Value())) << c.what;
    ASSERT_EQ(dialogs_.shown().size(), 1u) << c.what;
    const auto& box = dialogs_.shown()[0];
    EXPECT_EQ(box.kind, ScriptedDialogs::BoxKind::Error);
    EXPECT_EQ(box.title, "Error Loading File");
    EXPECT_EQ(box.text, file.string() + "\n" + c.message) << c.what;
    EXPECT_EQ(parameters(), before) << c.what;
  }
  EXPECT_EQ(RedrawLog::calls, 0);
}

TEST_F(ParameterFile, TheCheckSaysWhatIsWrong) {
  const fs::path file = dir_ / "check.mat";
  const Value current = app::toValue(app::Parameters{});
  writeParameterFile(file, without(current, "ChannelNumber"));
  auto r = readParameterFile(file, current);
  EXPECT_FALSE(r.parameters);
  EXPECT_EQ(r.detail, "field 'fileParameters.ChannelNumber' is missing");
  writeParameterFile(file, with(current, "Amplitude", Value::text("-30")));
  r = readParameterFile(file, current);
  EXPECT_EQ(r.detail, "fileParameters.Amplitude must be a number, not text");
  writeParameterFile(file, with(current, "ParameterFileFormat_ID", Value::text("X")));
  r = readParameterFile(file, current);
  EXPECT_EQ(r.detail, "ParameterFileFormat_ID is \"X\", expected \"Qarn-FTM - Format 1.0\"");
}

// ---- damaged and hostile files -------------------------------------------------------------

void put32(std::vector<char>& b, std::uint32_t x) {
  const char* p = reinterpret_cast<const char*>(&x);
  b.insert(b.end(), p, p + 4);
}

// An uncompressed MAT v5 file with one double array `fileParameters` announcing `rows` x `cols`
// elements but holding one.
std::vector<char> hugeArrayFile(std::uint32_t rows, std::uint32_t cols) {
  std::vector<char> b(116, ' ');
  const char* text = "MATLAB 5.0 MAT-file, crafted";
  std::memcpy(b.data(), text, std::strlen(text));
  b.insert(b.end(), 8, '\0');
  b.push_back(0x00), b.push_back(0x01), b.push_back('I'), b.push_back('M');
  std::vector<char> m;
  put32(m, 6), put32(m, 8), put32(m, 6), put32(m, 0);        // array flags: double
  put32(m, 5), put32(m, 8), put32(m, rows), put32(m, cols);  // dimensions
  put32(m, 1), put32(m, 14);                                 // name
  const char name[16] = "fileParameters";
  m.insert(m.end(), name, name + 16);
  put32(m, 9), put32(m, 8);
  m.insert(m.end(), 8, '\0');
  put32(b, 14), put32(b, static_cast<std::uint32_t>(m.size()));
  b.insert(b.end(), m.begin(), m.end());
  return b;
}

TEST_F(ParameterFile, DamagedAndHostileFilesAreRefusedWithAMessage) {
  const fs::path good = dir_ / "good.mat";
  const fs::path plain = dir_ / "plain.mat";
  const Value saved = app::toValue(everyFieldChanged());
  writeParameterFile(good, saved);
  runtime::writeMatFile(
      plain,
      std::vector<runtime::MatVariable>{{"fileParameters", saved}, {"filename", Value::text("x")}},
      runtime::MatWriteOptions{false});
  struct Damaged {
    std::string what;
    std::vector<char> bytes;
    // Losing only the end of the last variable (the compressed stream's checksum, padding) may
    // still leave the saved record whole; then it may load, but only as exactly that record.
    bool mayLoad = false;
  };
  std::vector<Damaged> damaged;
  damaged.push_back({"empty", {}});
  damaged.push_back({"text", {'h', 'e', 'l', 'l', 'o'}});
  damaged.push_back({"huge", hugeArrayFile(0x7FFFFFFF, 0x7FFFFFFF)});
  damaged.push_back({"large", hugeArrayFile(1u << 20, 1u << 20)});
  for (const auto& source : {good, plain}) {
    const auto bytes = readBytes(source);
    for (std::size_t cut : {std::size_t{127}, std::size_t{128}, std::size_t{140}, bytes.size() / 2})
      damaged.push_back({source.filename().string() + " cut at " + std::to_string(cut),
                         std::vector<char>(bytes.begin(), bytes.begin() + cut)});
    for (std::size_t lost = 1; lost <= 9; ++lost)
      damaged.push_back({source.filename().string() + " without its last " + std::to_string(lost),
                         std::vector<char>(bytes.begin(), bytes.end() - lost), true});
    // The size of the first variable pointing far beyond the end: its own content is still
    // whole, so it may load as it was saved.
    auto big = bytes;
    const std::uint32_t lie = 0x7FFFFFF0;
    std::memcpy(big.data() + 132, &lie, 4);
    damaged.push_back({source.filename().string() + " oversized element", big, true});
    // A dimension of the record announcing 2^31 - 1 elements.
    if (source == plain) {
      auto dims = bytes;
      const std::uint32_t many = 0x7FFFFFFF;
      std::memcpy(dims.data() + 128 + 8 + 16 + 8 + 4, &many, 4);
      damaged.push_back({"plain.mat with a huge record", dims});
    }
  }

  const Value before = parameters();
  const fs::path file = dir_ / "damaged.mat";
  for (const auto& d : damaged) {
    writeBytes(file, d.bytes);
    dialogs_.clear();
    registry::setVariable("parameters", before);
    if (loadParameters(file.string(), Value())) {
      EXPECT_TRUE(d.mayLoad) << d.what;
      EXPECT_EQ(parameters(), saved) << d.what;
      EXPECT_TRUE(dialogs_.shown().empty()) << d.what;
      continue;
    }
    ASSERT_EQ(dialogs_.shown().size(), 1u) << d.what;
    EXPECT_EQ(dialogs_.shown()[0].title, "Error Loading File") << d.what;
    EXPECT_FALSE(dialogs_.shown()[0].text.empty()) << d.what;
    EXPECT_EQ(parameters(), before) << d.what;
  }
  RedrawLog::calls = 0;
  dialogs_.clear();
  EXPECT_FALSE(loadParameters((dir_ / "missing.mat").string(), Value()));
  ASSERT_EQ(dialogs_.shown().size(), 1u);
  EXPECT_NE(dialogs_.shown()[0].text.find("missing.mat"), std::string::npos);
  EXPECT_EQ(RedrawLog::calls, 0);
}

TEST_F(ParameterFile, ASaveThatFailsShowsItsErrorAndKeepsTheOldFile) {
  const fs::path missingFolder = dir_ / "no" / "such" / "p.mat";
  saveParameters(missingFolder.string(), parameters());
  ASSERT_EQ(dialogs_.shown().size(), 1u);
  EXPECT_EQ(dialogs_.shown()[0].kind, ScriptedDialogs::BoxKind::Error);
  EXPECT_EQ(dialogs_.shown()[0].title, "Error Saving " + missingFolder.string());
  EXPECT_FALSE(fs::exists(missingFolder));

  // Saving over an existing file replaces it and leaves no temporary behind.
  const fs::path file = dir_ / "p.mat";
  saveParameters(file.string(), parameters());
  saveParameters(file.string(), app::toValue(everyFieldChanged()));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
  EXPECT_TRUE(loadParameters(file.string(), Value()));
  EXPECT_EQ(parameters(), app::toValue(everyFieldChanged()));
}

class HeadlessParameterFile : public FrameTest {
 protected:
  HeadlessParameterFile() : FrameTest(bindStateOnly) {}
};

TEST_F(HeadlessParameterFile, LoadingWithoutAWindowHasNothingToRedraw) {
  const fs::path file = dir_ / "p.mat";
  writeParameterFile(file, app::toValue(everyFieldChanged()));
  EXPECT_TRUE(loadParameters(file.string(), Value()));
  EXPECT_EQ(parameters(), app::toValue(everyFieldChanged()));
  EXPECT_TRUE(dialogs_.shown().empty());
  EXPECT_EQ(RedrawLog::calls, 0);
}

}  // namespace
}  // namespace kelvane::frame::testing
