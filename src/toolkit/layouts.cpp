#include "toolkit/layouts.hpp"

#include <dlfcn.h>

#include <QFile>
#include <QLayout>
#include <QUiLoader>
#include <QWidget>
#include <algorithm>
#include <cstdlib>

#include "runtime/value.hpp"
#include "toolkit/callbacks.hpp"
#include "toolkit/objects.hpp"

#ifndef KELVANE_DATA_FROM_LIBRARY
#define KELVANE_DATA_FROM_LIBRARY "../share/kelvane"
#endif

namespace kelvane::toolkit {

namespace fs = std::filesystem;

fs::path dataFolder() {
  if (const char* env = std::getenv("KELVANE_DATA_DIR"); env && *env) return env;
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&dataFolder), &info) == 0 || !info.dli_fname)
    throw runtime::Error("Cannot tell where the library is, so its layouts cannot be found.");
  const fs::path module = fs::canonical(fs::path(info.dli_fname));
  return (module.parent_path() / KELVANE_DATA_FROM_LIBRARY).lexically_normal();
}

fs::path layoutsFolder() {
  return dataFolder() / "layouts";
}

fs::path layoutFile(const std::string& name) {
  fs::path file(name);
  if (file.extension() == ".fig" || file.extension() == ".ui") file.replace_extension();
  return layoutsFolder() / file.filename().replace_extension(".ui");
}

std::vector<fs::path> allLayouts() {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(layoutsFolder(), ec))
    if (entry.path().extension() == ".ui") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

QWidget* loadLayout(const fs::path& file) {
  application();
  QFile f(QString::fromStdString(file.string()));
  if (!f.open(QIODevice::ReadOnly))
    throw runtime::Error("Cannot open the window layout \"" + file.string() + "\".");
  QUiLoader loader;
  QWidget* window = loader.load(&f);
  if (!window)
    throw runtime::Error("The window layout \"" + file.string() +
                         "\" cannot be loaded: " + loader.errorString().toStdString());
  window->setAttribute(Qt::WA_DeleteOnClose);
  // Every control keeps its own font size, so that scaling one (a panel) leaves the controls
  // inside it as they are.
  for (QWidget* w : window->findChildren<QWidget*>()) {
    QFont f = w->font();
    f.setPointSizeF(f.pointSizeF());
    w->setFont(f);
  }
  window->hide();
  // Laid out at its natural size: the layouts give no fixed sizes.
  if (window->layout() || window->findChild<QLayout*>()) window->adjustSize();
  if (window->property("kelvaneName").toString().isEmpty())
    window->setProperty("kelvaneName", window->windowTitle());
  wireCallbacks(window);
  return window;
}

}  // namespace kelvane::toolkit
