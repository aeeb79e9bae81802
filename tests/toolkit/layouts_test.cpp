// Every layout under layouts/: each callback it names exists in its module's table (the by-name
// wiring cannot be checked by the compiler), and each window has every tag its code uses.
#include <QAction>
#include <QWidget>
#include <map>
#include <set>

#include "support/window_fixture.hpp"
#include "toolkit/layouts.hpp"

namespace kelvane::toolkit {
namespace {

class Layouts : public testing::WindowTest {};

// The tags each window's code reaches through its handles.
const std::map<std::string, std::vector<std::string>>& requiredTags() {
  static const std::map<std::string, std::vector<std::string>> tags = {
      {"Qarn_FTM_GUI_c",
       {"main",
        "TrafficChannelDataRateComboBox",
        "TrafficChannelPayloadComboBox",
        "TrafficChannelMACIndexTextField",
        "TrafficChannelPacketsTextField",
        "ControlChannelDataRateComboBox",
        "PilotOffsetIndexTextField",
        "OversampleRatioTextField",
        "FilterTypeComboBox",
        "PhaseEqualizationCheckBox",
        "MirrorSpectrumCheckBox",
        "AutoCalculateRepsCheckBox",
        "TrafficChannelWaveformTextField",
        "TrafficChannelWaveformReps",
        "ControlChannelWaveformTextField",
        "ControlChannelWaveformReps",
        "SequenceFileTextField",
        "AmplitudeTextField",
        "CDMAFrequency",
        "TrafficFramesTextField",
        "ControlFramesTextField",
        "ProjectedLengthLabel",
        "FrequencyLabel",
        "txtFrequency",
        "pdFrequencyUnits",
        "txtAmplitude",
        "txtWaveformTitle",
        "pbAdvancedSettings",
        "pbCalculate",
        "pbDownload",
        "pbRefresh",
        "txtNumberOfSamples",
        "txtEvent1",
        "txtEvent2",
        "txtEvent3",
        "txtEvent4"}},
      {"VelConfigAdv_c",
       {"figAdvSettings", "txtSamplingRate", "pdSamplingRateUnits", "pdBBfilter", "txtScaling",
        "txtModAtten", "chkRFblanking", "chkALC", "chkBBrefSource", "chkMarkerPolarity", "pbOK",
        "pbCancel"}},
      {"Qarn_ChannelNumberToFreqGUI",
       {"ChannelNumberToFrequencyDialog", "BandClassComboBox", "AccessNetworkRadioButton",
        "AccessTerminalRadioButton", "ChannelNumberTextField"}},
      {"KR_Splash", {"txtLogo"}},
      {"KR_About",
       {"figureKR_About", "lblRevision", "lblDate", "lblCopyright", "lblNotes", "txtNotesLine2",
        "txtNotesLine3", "txtNotesLine4", "txtNotesLine5", "txtNotesLine6", "txtNotesLine7",
        "txtLogo", "pbOK"}},
  };
  return tags;
}

// "module/name" or the name in `module`.
std::pair<std::string, std::string> target(const QString& callback, const QString& module) {
  const auto slash = callback.indexOf('/');
  if (slash > 0) return {callback.left(slash).toStdString(), callback.mid(slash + 1).toStdString()};
  return {module.toStdString(), callback.toStdString()};
}

TEST_F(Layouts, EveryCallbackExistsInItsModuleAndEveryWindowHasItsTags) {
  const auto files = allLayouts();
  ASSERT_GE(files.size(), requiredTags().size());
  std::set<std::string> seen;
  for (const auto& file : files) {
    const std::string name = file.stem().string();
    seen.insert(name);
    QWidget* window = loadLayout(file);
    const QString windowModule = window->property("module").toString();
    std::vector<QObject*> objects = {window};
    for (QObject* o : window->findChildren<QObject*>())
      objects.push_back(o);
    int callbacks = 0;
    for (QObject* o : objects) {
      for (const char* property : {"callback", "closeRequest"}) {
        const QString cb = o->property(property).toString();
        if (cb.isEmpty()) continue;
        const QString own = o->property("module").toString();
        const auto [module, op] = target(cb, own.isEmpty() ? windowModule : own);
        const registry::Table* table = registry::library().findModule(module);
        ASSERT_NE(table, nullptr) << name << ": module " << module << " of " << op;
        EXPECT_NE(table->find(op), nullptr) << name << ": " << module << " has no " << op;
        ++callbacks;
      }
    }
    if (name != "KR_Splash") {
      EXPECT_GT(callbacks, 0) << name;
    }
    const auto it = requiredTags().find(name);
    if (it != requiredTags().end()) {
      for (const auto& tag : it->second)
        EXPECT_TRUE(window->objectName().toStdString() == tag ||
                    window->findChild<QObject*>(QString::fromStdString(tag)))
            << name << " lacks the tag " << tag;
    }
    delete window;
  }
  for (const auto& [name, tags] : requiredTags())
    EXPECT_TRUE(seen.count(name)) << "no layout " << name;
}

}  // namespace
}  // namespace kelvane::toolkit
