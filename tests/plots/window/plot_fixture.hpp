// The plot windows started for a test: the library initialized with scripted dialogs (the
// window fixture), helpers that call the plot operations by name, a parent window at a chosen
// place, and the objects of a plot window by tag and by label.
#pragma once

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <complex>
#include <string>
#include <vector>

#include "plots/axes2d.hpp"
#include "plots/figure.hpp"
#include "support/window_fixture.hpp"
#include "toolkit/axes.hpp"
#include "toolkit/figures.hpp"

namespace kelvane::testing {

namespace tk = kelvane::toolkit;
namespace pl = kelvane::plots;
using Complex = std::complex<double>;

class PlotTest : public WindowTest {
 protected:
  static Value call(const char* op, std::vector<Value> args) {
    return registry::call(op, std::move(args), 1).at(0);
  }
  // A plain window at `position` (pixels) standing for the application's main window.
  Value parentAt(std::vector<double> position) {
    auto* w = new QWidget();
    w->setAttribute(Qt::WA_DeleteOnClose);
    const Value h = tk::handleOf(w);
    tk::set(h, "Position", Value::row(std::move(position)));
    w->show();
    return h;
  }
  static std::vector<double> position(const Value& h) { return tk::get(h, "Position").toDoubles(); }
  static pl::PlotFigure* figure(const Value& h) { return pl::figureOf(h); }
  // The object tagged `tag` in the window of `h`.
  static Value tagged(const Value& h, const char* tag) {
    QObject* o = tk::findTag(tk::windowOf(h), tag);
    if (!o) throw std::runtime_error(std::string("no object tagged ") + tag);
    return tk::handleOf(o);
  }
  static pl::Axes2D* axes2d(const Value& fig, std::size_t i = 0) {
    return dynamic_cast<pl::Axes2D*>(figure(fig)->axes().at(i));
  }
  static Value axesHandle(const Value& fig, std::size_t i = 0) {
    return tk::handleOf(figure(fig)->axes().at(i));
  }
  // The visible menus of a window's menu bar: their labels.
  static std::vector<std::string> menuLabels(const Value& fig) {
    std::vector<std::string> labels;
    auto* bar = tk::windowOf(fig)->findChild<QMenuBar*>();
    for (QAction* a : bar->actions())
      if (a->isVisible()) labels.push_back(a->text().toStdString());
    return labels;
  }
  // The item labelled `label` of the visible menu labelled `menu`.
  static QAction* item(const Value& fig, const std::string& menu, const std::string& label) {
    auto* bar = tk::windowOf(fig)->findChild<QMenuBar*>();
    for (QAction* m : bar->actions())
      if (m->isVisible() && m->text().toStdString() == menu && m->menu())
        for (QAction* a : m->menu()->actions())
          if (a->text().toStdString() == label) return a;
    throw std::runtime_error("no item " + menu + " > " + label);
  }
  static std::vector<Complex> tone(std::size_t n, double cycles, double amplitude = 1) {
    std::vector<Complex> x(n);
    for (std::size_t i = 0; i < n; ++i)
      x[i] = std::polar(amplitude, 2 * 3.141592653589793 * cycles * static_cast<double>(i));
    return x;
  }
  static Value row(const std::vector<Complex>& x) { return Value::complexRow(x); }
  static std::vector<double> lim(const Value& axes, const char* which) {
    return tk::get(axes, which).toDoubles();
  }
};

}  // namespace kelvane::testing
