#include "frame/window/menu_bar.hpp"

#include <string>
#include <tuple>
#include <vector>

#include "toolkit/menus.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::frame::window {

using runtime::Value;
using toolkit::MenuItemSpec;

namespace {

constexpr const char* kFrame = "rfCommonUI";

struct Item {
  const char* label;
  const char* tag;
  bool visible = true;
  bool enabled = true;
  bool separator = false;
  bool callback = true;  // callback <tag>_Callback
};

struct Menu {
  const char* label;
  const char* tag;
  const char* field;  // in the returned record
  bool visible;
  std::vector<Item> items;
};

const std::vector<Menu>& menus() {
  static const std::vector<Menu> m = {
      {"&File",
       "menuFile",
       "File",
       true,
       {{"&New", "menuFileNew"},
        {"&Open...", "menuFileOpen"},
        {"&Save", "menuFileSave"},
        {"Save &As...", "menuFileSaveAs"},
        {"&Export Data...", "menuFileExportData"},
        {"E&xit", "menuFileExit", true, true, true}}},
      {"&Plot",
       "menuPlot",
       "Plot",
       true,
       {{"&Spectrum", "menuPlotSpectrum"},
        {"&Waterfall", "menuPlotWaterfall", false},
        {"I(t) Q(t)", "menuPlotIQTime", true, true, true},
        {"I(t) Q(t) Overlayed", "menuPlotIQTimeSameAxes"},
        {"&Eye Diagram", "menuPlotEyeDiagram", false},
        {"S&catter Diagram", "menuPlotScatterDiagram", false},
        {"&CCDF", "menuPlotCCDF", true, true, true}}},
      {"&Configuration",
       "menuConfig",
       "Config",
       true,
       {{"&Sig Gen I/O", "menuConfigSigGenIO"}, {"Spec &An I/O", "menuConfigSpecAnIO", false}}},
      {"&Special",
       "menuSpecial",
       "Special",
       false,
       {{"Save &Wave...", "menuSpecialSaveWave"},
        {"&Impairments", "menuSpecialImpairments", false, false, false, false}}},
      {"&Help", "menuHelp", "Help", true, {{"&About", "menuHelpAbout"}}},
  };
  return m;
}

MenuItemSpec spec(const Item& item) {
  MenuItemSpec s;
  s.label = item.label;
  s.tag = item.tag;
  s.callback = item.callback ? std::string(item.tag) + "_Callback" : "";
  s.module = kFrame;
  s.visible = item.visible;
  s.enabled = item.enabled;
  s.separatorAbove = item.separator;
  return s;
}

// The access key on the last digit of the option's name: "Option 00&8 (8 Msamples)".
std::string memoryLabel(std::string_view option, const char* size) {
  std::string name(option);
  name.insert(name.size() - 1, "&");
  return name + " (" + size + " Msamples)";
}

void addBasebandGenerator(const Value& configMenu) {
  MenuItemSpec sub;
  sub.label = "&Baseband Generator";
  sub.tag = "menuConfigBBG1";
  sub.separatorAbove = true;
  const Value bbg = toolkit::addSubmenu(configMenu, sub);
  for (const auto& [option, size, tag] :
       {std::tuple{kMemoryOption8, "8", "menuConfigBBG1Opt1"},
        std::tuple{kMemoryOption32, "32", "menuConfigBBG1Opt2"}}) {
    MenuItemSpec item;
    item.label = memoryLabel(option, size);
    item.tag = tag;
    item.callback = std::string(tag) + "_Callback";
    item.module = kFrame;
    toolkit::addMenuItem(bbg, item);
  }
}

}  // namespace

Value KR_AddMenu(const std::optional<Value>& figure, std::string_view platform) {
  if (!figure) return Value();
  Value headers = Value::record();
  for (const Menu& m : menus()) {
    const Value menu = toolkit::addMenu(*figure, m.label, m.tag);
    for (const Item& item : m.items)
      toolkit::addMenuItem(menu, spec(item));
    if (std::string_view(m.tag) == "menuConfig" && platform == "c") addBasebandGenerator(menu);
    if (!m.visible) toolkit::set(menu, "Visible", Value::text("off"));
    headers.setField(m.field, menu);
  }
  return headers;
}

}  // namespace kelvane::frame::window
