// Properties of window objects by the names the windows' code uses, mapped onto Qt:
//
//   every object  "Tag", "Type", "Parent", "Visible", "Enable", "UserData"
//   windows       "Name", "NumberTitle", "Position", "Units", "Color", "Pointer", "MenuBar"
//   controls      "String", "Value", "Style", "TooltipString", "Position", "Units", "FontSize",
//                 "CData", "Callback"
//   menus, items  "Label", "Checked", "Separator", "Callback", "FontSize"
//   axes          "Position", "Units", "XLim", "YLim", "ZLim", "XScale", "YScale", "XGrid",
//                 "YGrid", "ZGrid", "GridLineStyle", "XTick", "Title", "XLabel", "YLabel",
//                 "ZLabel", "NextPlot" (toolkit/axes.hpp)
//   the root (0)  "ScreenSize", "screenpixelsperinch", "defaultUicontrolBackgroundColor", "Units"
//
// Positions are (left, bottom, width, height) with the bottom measured upwards: a window's from
// the bottom of the screen, a control's from the bottom of its parent, the first pixel being 1
// ("pixels", the default) or as fractions of the reference ("normalized"). Flags are the texts
// "on" and "off"; colours [r g b] from 0 to 1. A property an object does not have is an error
// naming the object's tag and the property. A plot window's "MenuBar" shows or hides its standard
// figure menus; menus added by a program stay.
#pragma once

#include <string_view>
#include <vector>

#include "runtime/value.hpp"

namespace kelvane::toolkit {

runtime::Value get(const runtime::Value& handle, std::string_view property);
void set(const runtime::Value& handle, std::string_view property, const runtime::Value& value);
// Several properties in one call, in order: set(h, {{"String", ...}, {"Value", ...}}).
void set(const runtime::Value& handle,
         const std::vector<std::pair<std::string_view, runtime::Value>>& properties);
bool hasProperty(const runtime::Value& handle, std::string_view property);

// The root's dots per inch as the windows see them. Tests and remote displays may set the root's
// "screenpixelsperinch" to stand for another screen; this clears that.
void resetScreenResolution();

}  // namespace kelvane::toolkit
