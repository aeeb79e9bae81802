#include "app/window/figure_helpers.hpp"

#include <QWidget>
#include <cmath>
#include <vector>

#include "toolkit/figures.hpp"
#include "toolkit/images.hpp"
#include "toolkit/layouts.hpp"
#include "toolkit/modal.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::app::window {

using runtime::Value;
namespace tk = kelvane::toolkit;

namespace {

constexpr double kBaseResolution = 96;  // dots per inch the layouts were drawn at
constexpr double kFontScale = 1.1;

const char* const kAboutTextFields[] = {"Name",       "Rev",        "Date",       "CopyrightMsg",
                                        "Notes",      "NotesLine2", "NotesLine3", "NotesLine4",
                                        "NotesLine5", "NotesLine6", "NotesLine7"};

// The app record the About box shows: the one passed, or blanks.
Value aboutRecord(const std::optional<Value>& app) {
  if (app && app->isRecord() && app->numel() == 1) return *app;
  Value blank = Value::record();
  for (const char* f : kAboutTextFields)
    blank.setField(f, Value::text(" "));
  blank.setField("IsRelease", Value::scalar(1));
  return blank;
}

std::string textField(const Value& app, const char* name) {
  if (!app.hasField(name)) return " ";
  const Value& v = app.field(name);
  return v.isText() ? v.str() : v.numel() == 0 ? "" : v.toString();
}

Value handleField(const Value& handles, const char* tag) {
  if (!handles.hasField(tag))
    throw runtime::Error(std::string("The window has no object tagged ") + tag + ".");
  return handles.field(tag);
}

Value imageFile(const char* name) {
  return tk::readJpeg(tk::layoutsFolder() / name);
}

Value openWithHandles(const char* layout) {
  const Value fig = tk::openfig(layout, tk::OpenPolicy::Reuse);
  tk::guidata(fig, tk::guihandles(fig));
  return fig;
}

}  // namespace

Value loadFigure(const std::string& filename, const Value& parent) {
  const Value fig = tk::openfig(filename, tk::OpenPolicy::New);
  tk::set(fig, "Color", tk::get(Value::handle(tk::kRootHandle), "defaultUicontrolBackgroundColor"));
  tk::guidata(fig, tk::guihandles(fig));
  positionChildWindow(parent, fig);
  return fig;
}

void positionChildWindow(const Value& parent, const Value& child) {
  const auto c = tk::get(child, "Position").toDoubles();
  const auto ref = tk::isRoot(parent)
                       ? tk::get(Value::handle(tk::kRootHandle), "ScreenSize").toDoubles()
                       : tk::get(parent, "Position").toDoubles();
  const double left = ref[0] + (ref[2] - c[2]) / 2;
  const double bottom = ref[1] + (ref[3] - c[3]) / 2;
  tk::set(child, "Position", Value::row({left, bottom, c[2], c[3]}));
}

void resizeAllFonts(const Value& handles) {
  if (tk::get(Value::handle(tk::kRootHandle), "screenpixelsperinch").toDouble() != kBaseResolution)
    return;
  if (!handles.isRecord()) throw runtime::Error("resizeAllFonts needs a handles record.");
  for (const auto& name : handles.fieldNames()) {
    const Value& h = handles.field(name);
    if (!h.isHandle() || !tk::isValidHandle(h) || !tk::hasProperty(h, "FontSize")) continue;
    const double size = tk::get(h, "FontSize").toDouble();
    tk::set(h, "FontSize", Value::scalar(std::round(kFontScale * size)));
  }
}

Value KR_Splash() {
  const Value fig = openWithHandles("KR_Splash");
  tk::windowOf(fig)->setWindowFlags(Qt::SplashScreen | Qt::FramelessWindowHint);
  positionChildWindow(Value::handle(tk::kRootHandle), fig);
  tk::set(handleField(tk::guidata(fig), "txtLogo"), "CData", imageFile("splash.jpg"));
  tk::set(fig, "Visible", Value::text("on"));
  return fig;
}

std::string revisionText(const std::string& rev, bool isRelease) {
  if (isRelease) return (rev + "       ").substr(0, 7);
  return rev + "  Proto";
}

void KR_About(const std::optional<Value>& parent, const std::optional<Value>& app) {
  if (parent && !(parent->isHandle() && tk::isValidHandle(*parent) && !tk::isRoot(*parent) &&
                  tk::kindOf(tk::objectOf(*parent)) == tk::ObjectKind::Window))
    throw runtime::Error("Input argument must be a handle to parent");
  const Value fig = tk::openfig("KR_About", tk::OpenPolicy::Reuse);
  tk::set(fig, "Color", tk::get(Value::handle(tk::kRootHandle), "defaultUicontrolBackgroundColor"));
  const Value handles = tk::guihandles(fig);
  tk::guidata(fig, handles);
  positionChildWindow(parent ? *parent : Value::handle(tk::kRootHandle), fig);
  const Value info = aboutRecord(app);
  resizeAllFonts(handles);
  tk::set(fig, "Name", Value::text(textField(info, "Name")));
  const bool release = info.hasField("IsRelease") && info.field("IsRelease").isReal() &&
                       info.field("IsRelease").numel() == 1 &&
                       info.field("IsRelease").toDouble() != 0;
  tk::set(handleField(handles, "lblRevision"), "String",
          Value::text(revisionText(textField(info, "Rev"), release)));
  tk::set(handleField(handles, "lblDate"), "String", Value::text(textField(info, "Date")));
  tk::set(handleField(handles, "lblCopyright"), "String",
          Value::text(textField(info, "CopyrightMsg")));
  tk::set(handleField(handles, "lblNotes"), "String", Value::text(textField(info, "Notes")));
  for (int line = 2; line <= 7; ++line) {
    const std::string n = std::to_string(line);
    tk::set(handleField(handles, ("txtNotesLine" + n).c_str()), "String",
            Value::text(textField(info, ("NotesLine" + n).c_str())));
  }
  tk::set(handleField(handles, "txtLogo"), "CData", imageFile("logo.jpg"));
  tk::set(fig, "Visible", Value::text("on"));
  QWidget* box = tk::windowOf(fig);
  tk::waitFor(box);
  if (tk::isValidHandle(fig)) tk::deleteObject(fig);
}

}  // namespace kelvane::app::window
