// Plot figures and their axes for the plotting operations: which plot window is the current one
// (made or activated last; the plotting verbs and the Zoom and Rotate commands act there), the
// current axes of a figure, and the properties of axes by name.
//
// Axes are widgets with the dynamic property "kelvaneAxes". Their properties ("XLim", "YScale",
// "Title", "Position", ...) are kept on the widget as runtime::Value in dynamic properties named
// "kelvane.<Name>"; the widget draws from them, and Qt tells it of every change with a
// QDynamicPropertyChangeEvent. A plot widget that changes a property itself (a zoom changes
// "XLim") stores the new value the same way.
#pragma once

#include <QMetaType>
#include <span>
#include <string>
#include <string_view>

#include "runtime/value.hpp"

Q_DECLARE_METATYPE(kelvane::runtime::Value)

class QObject;
class QWidget;

namespace kelvane::toolkit {

// The properties every axes has beyond the common ones, in the order `get` lists them:
// XLim, YLim, ZLim ([lo hi], lo < hi), XScale, YScale ("linear" or "log"), XGrid, YGrid, ZGrid
// ("on"/"off"), GridLineStyle ("-", "--", ":", "-.", "none"), XTick (increasing numbers),
// Title, XLabel, YLabel, ZLabel (texts), NextPlot ("add" or "replace").
std::span<const std::string_view> axesPropertyNames();

// The stored value of an axes property (empty when never set) and storing one without checks.
runtime::Value axesValue(const QObject* axes, std::string_view property);
void storeAxesValue(QObject* axes, std::string_view property, const runtime::Value& value);
// The dynamic property that holds `property`: "kelvane.<property>".
QByteArray axesKey(std::string_view property);

// An axes' position as (left, bottom, width, height) fractions of its parent's area, the form
// it is kept in ("Position" reads and writes it in the axes' "Units").
runtime::Value normalizedPosition(const QObject* axes);

// Plot windows. A figure takes part in the current-figure order from when it is marked; it
// becomes current when marked, when activated and when a menu command of it runs.
void markFigure(QWidget* window);
bool isFigure(const QObject* object);
QWidget* currentFigure();  // nullptr when no figure is open
void setCurrentFigure(QWidget* figure);

// The current axes of `figure`: the axes made or selected last in it (nullptr when none).
QWidget* currentAxes(QWidget* figure);
void setCurrentAxes(QWidget* axes);

}  // namespace kelvane::toolkit
