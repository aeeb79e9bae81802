// kelvane: the desktop program. It loads the library, runs the application entry, keeps the
// window toolkit's events running while the main window exists, then terminates the library.
//
//   kelvane [Qt options such as -platform offscreen] [--screenshots DIR]
//   kelvane -platform offscreen --plot KIND --out FILE [--params F] [--set N=V ...]
//           [--waveform traffic|control]
//
// --screenshots DIR starts without the splash wait, renders every window to DIR/<name>.png and
// exits. --plot computes the waveform and writes one plot to FILE without showing a window
// (kelvane-cli plot runs this).
#include <QApplication>
#include <QDir>
#include <QPointer>
#include <QWidget>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "app/window/main_window.hpp"
#include "host/plot_files.hpp"
#include "host/screenshots.hpp"
#include "library/process.hpp"
#include "registry/registry.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/qt_dialogs.hpp"

extern "C" void Qarn_FTM_c_libInitialize();
extern "C" void Qarn_FTM_c_libTerminate();

namespace {

const char* kUsage =
    "usage: kelvane [Qt options] [--screenshots DIR] [--version]\n"
    "       kelvane -platform offscreen --plot KIND --out FILE [--params F] [--set N=V ...]\n"
    "               [--waveform traffic|control]\n"
    "Kelvane generates cdma2000 1xEV-DO forward-link test signals and plays them on a\n"
    "signal generator. --screenshots DIR renders every window to DIR and exits; --plot writes\n"
    "one plot of the calculated waveform to a file (see kelvane-cli plot --help).\n";

// Runs the events while the main window exists.
int runWhileMainWindowExists(QApplication& app) {
  QPointer<QWidget> main = kelvane::toolkit::windowOf(kelvane::app::window::mainWindow());
  if (!main) return 1;
  QObject::connect(main, &QObject::destroyed, &app, &QApplication::quit);
  return app.exec();
}

// Deletes the windows still open (hidden dialogs, the windows of --screenshots), so that the
// program ends with nothing of its own left allocated. Only windows without a parent: the others
// go with their parent, and some (a combo box's list) must not go before the widget that owns
// them, which would hide them at its own deletion.
void deleteRemainingWindows() {
  QList<QPointer<QWidget>> windows;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (!w->parentWidget()) windows.append(w);
  for (const QPointer<QWidget>& w : windows)
    delete w.data();  // a window deleted with its parent is null by now
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before Qt starts, so that it works without a display.
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("kelvane " KELVANE_VERSION);
      return 0;
    }
  kelvane::library::restartWithHugePages(argv);  // before anything is allocated for the plots
  kelvane::library::keepFreedMemoryForReuse();
  QApplication app(argc, argv);                  // takes the Qt options out of argv
  QApplication::setApplicationName("Kelvane");
  QApplication::setQuitOnLastWindowClosed(false);
  std::string screenshots;
  std::optional<kelvane::host::PlotRequest> plot;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--plot") == 0) {
      plot = kelvane::host::parsePlotRequest(std::vector<std::string>(argv + i + 1, argv + argc));
      if (!plot) return 2;
      break;
    } else if (std::strcmp(argv[i], "--screenshots") == 0 && i + 1 < argc) {
      screenshots = argv[++i];
    } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "kelvane: unknown argument %s\n%s", argv[i], kUsage);
      return 2;
    }
  }

  kelvane::toolkit::QtDialogs dialogs;
  int code = 0;
  try {
    Qarn_FTM_c_libInitialize();
    // A plot file is written unattended: boxes go to standard error instead of waiting.
    kelvane::library::installProcessHooks({.dialogs = plot ? nullptr : &dialogs});
    if (plot) {
      code = kelvane::host::writePlotFile(*plot);
    } else if (!screenshots.empty()) {
      kelvane::app::window::setSplashWait(false);
      code = kelvane::host::writeScreenshots(QDir(QString::fromStdString(screenshots)));
    } else {
      kelvane::registry::call("Qarn_FTM_c", {}, 0);
      code = runWhileMainWindowExists(app);
    }
    deleteRemainingWindows();
    kelvane::library::installProcessHooks({});
    Qarn_FTM_c_libTerminate();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kelvane: %s\n", e.what());
    return 1;
  }
  return code;
}
