#include "host/screenshots.hpp"

#include <QApplication>
#include <QDir>
#include <QPainter>
#include <QPixmap>
#include <QWidget>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/state.hpp"
#include "app/window/figure_helpers.hpp"
#include "host/plot_files.hpp"
#include "instrument/waveform_files.hpp"
#include "library/state_variables.hpp"
#include "registry/registry.hpp"
#include "toolkit/figures.hpp"
#include "toolkit/modal.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/qt_dialogs.hpp"

namespace kelvane::host {

using runtime::Value;
namespace tk = kelvane::toolkit;

namespace {

void settle() {
  for (int i = 0; i < 5; ++i)
    QApplication::processEvents();
}

bool save(QWidget* window, const QDir& folder, const char* name) {
  if (!window) {
    std::fprintf(stderr, "kelvane: no window to render as %s\n", name);
    return false;
  }
  settle();
  const QString file = folder.filePath(QString(name) + ".png");
  if (!window->grab().save(file)) {
    std::fprintf(stderr, "kelvane: cannot write %s\n", file.toStdString().c_str());
    return false;
  }
  std::printf("wrote %s\n", file.toStdString().c_str());
  return true;
}

// Renders a window that is shown modally by `open`, then presses `close` in it.
bool saveModal(const QDir& folder, const char* name, const char* close,
               const std::function<void()>& open) {
  bool ok = false;
  tk::whenModal([&](QWidget* modal) {
    ok = save(modal, folder, name);
    tk::pressButton(modal, close);
  });
  open();
  tk::clearModalActions();
  return ok;
}

// Every plot window for the calculated start-up traffic waveform, beside the main window.
bool savePlots(const QDir& folder, const Value& main) {
  const app::AppState& state = app::currentState();
  const auto samples = instrument::applyDacRes(state.traffic.samples, 14);
  const std::string label = state.parameters.trafficChannelWaveformName;
  bool ok = true;
  for (const std::string& kind : plotKinds()) {
    const Value plot = openPlot(kind, state, label, samples, main);
    const std::string name = "plot_" + kind;
    ok = plot.isHandle() && save(tk::windowOf(plot), folder, name.c_str()) && ok;
    if (plot.isHandle()) tk::deleteObject(plot);
  }
  return ok;
}

}  // namespace

int writeScreenshots(const QDir& folder) {
  if (!folder.exists() && !QDir().mkpath(folder.path())) {
    std::fprintf(stderr, "kelvane: cannot create %s\n", folder.path().toStdString().c_str());
    return 1;
  }
  const Value fig = registry::call("Qarn_FTM_GUI_c", {}, 1).at(0);
  QWidget* main = tk::windowOf(fig);
  bool ok = save(main, folder, "main_window");

  registry::call("Qarn_FTM_GUI_c",
                 {Value::text("calculateButton_Callback"), Value(), Value(), tk::guidata(fig)}, 0);
  ok = save(main, folder, "main_window_calculated") && ok;

  const Value splash = app::window::KR_Splash();
  ok = save(tk::windowOf(splash), folder, "splash") && ok;
  tk::deleteObject(splash);

  ok = saveModal(folder, "about", "OK",
                 [&] {
                   registry::call("KR_About", {fig, registry::getVariable("appInfo")}, 0);
                 }) &&
       ok;

  const Value panelHandles = tk::guidata(fig);
  ok = saveModal(folder, "advanced_settings", "Cancel",
                 [&] {
                   registry::call(
                       "Velconfig_c",
                       {Value::text("pbAdvancedSettings_Callback"), Value(), Value(), panelHandles},
                       0);
                 }) &&
       ok;
  ok = saveModal(folder, "channel_number", "Cancel",
                 [&] {
                   registry::call("Qarn_ChannelNumberToFreqGUI",
                                  {Value::scalar(1), Value::scalar(1), Value::scalar(500)}, 4);
                 }) &&
       ok;

  // The I/O dialog with each of its three groups.
  for (const auto& [type, name] : {std::pair{"GPIB", "io_gpib"}, std::pair{"RS232", "io_rs232"},
                                   std::pair{"TCPIP", "io_lan"}}) {
    Value config = registry::getVariable("configuration");
    config.setField("type", Value::text(type));
    if (std::string(type) == "TCPIP")
      config.field("TCPIP").setField("address", Value::text("192.168.0.5"));
    ok = saveModal(folder, name, "Cancel",
                   [&] {
                     registry::call("KR_SigGen", {fig, config, Value::text("")}, 2);
                   }) &&
         ok;
  }
  // The About box over the main window, as the operator sees it.
  tk::whenModal([&](QWidget* box) {
    box->move(main->geometry().center() - box->rect().center());
    settle();
    const QRect area = main->frameGeometry().united(box->frameGeometry());
    QPixmap picture(area.size());
    picture.fill(Qt::darkGray);
    QPainter painter(&picture);
    painter.drawPixmap(main->geometry().topLeft() - area.topLeft(), main->grab());
    painter.drawPixmap(box->geometry().topLeft() - area.topLeft(), box->grab());
    painter.end();
    const QString file = folder.filePath("about_over_main.png");
    ok = picture.save(file) && ok;
    std::printf("wrote %s\n", file.toStdString().c_str());
    tk::pressButton(box, "OK");
  });
  registry::call("rfCommonUI",
                 {Value::text("menuHelpAbout_Callback"), Value(), Value(), tk::guidata(fig)}, 0);

  ok = savePlots(folder, fig) && ok;
  tk::deleteObject(fig);
  settle();
  return ok ? 0 : 1;
}

}  // namespace kelvane::host
