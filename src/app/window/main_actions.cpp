#include "app/window/main_actions.hpp"

#include <QApplication>
#include <QPointer>
#include <QProgressDialog>
#include <cstdio>
#include <memory>
#include <string>

#include "app/flow.hpp"
#include "app/state.hpp"
#include "toolkit/dialogs.hpp"
#include "toolkit/modal.hpp"
#include "toolkit/objects.hpp"
#include "toolkit/properties.hpp"

namespace kelvane::app::window {

using runtime::Value;
namespace tk = kelvane::toolkit;

namespace {

// The flow with the window's dialogs and its watch pointer on the main window.
FlowContext flowFor(const Value& handles) {
  Value main;
  if (handles.isRecord() && handles.hasField("main")) main = handles.field("main");
  return FlowContext{currentState(), toolkit::dialogs(), [main](bool busy) {
                       if (main.isHandle() && tk::isValidHandle(main))
                         tk::set(main, "Pointer", Value::text(busy ? "watch" : "arrow"));
                     }};
}

QString progressText(const instrument::DownloadProgress& p) {
  const double mb = 1e-6;
  return QString("Downloading \"%1\"\n%2 of %3 MB")
      .arg(QString::fromStdString(std::string(p.waveformName)))
      .arg(p.bytesSent * mb, 0, 'f', 1)
      .arg(p.bytesTotal * mb, 0, 'f', 1);
}

}  // namespace

void calculateButton(const Value& handles) {
  FlowContext flow = flowFor(handles);
  calculate(flow);
}

void downloadButton(const Value& handles) {
  FlowContext flow = flowFor(handles);
  download(flow);
}

void refreshButton(const Value& handles) {
  FlowContext flow = flowFor(handles);
  refresh(flow);
}

double areWaveformsReady(const Value& handles) {
  FlowContext flow = flowFor(handles);
  return app::areWaveformsReady(flow) ? 1 : 0;
}

instrument::ProgressReporter progressBox() {
  // One box, kept while the windows live and shown for each waveform; hiding it at the end of a
  // waveform is no Cancel (closing it would be).
  auto box = std::make_shared<QPointer<QProgressDialog>>();
  return [box](const instrument::DownloadProgress& p) {
    if (!*box) {
      auto* dialog = new QProgressDialog(QApplication::activeWindow());
      dialog->setWindowTitle("Download");
      dialog->setWindowModality(Qt::ApplicationModal);
      dialog->setAutoClose(false);
      dialog->setAutoReset(false);
      dialog->setMinimumDuration(0);
      dialog->setRange(0, 1000);
      QObject::connect(dialog, &QProgressDialog::canceled, [] { instrument::cancelDownload(); });
      *box = dialog;
    }
    QProgressDialog* dialog = *box;
    dialog->setLabelText(progressText(p));
    dialog->setValue(p.bytesTotal ? static_cast<int>(1000.0 * p.bytesSent / p.bytesTotal) : 1000);
    if (p.bytesSent == 0 && !dialog->isVisible()) {
      dialog->show();
      tk::modalStarted(dialog);
    }
    QApplication::processEvents();  // paint, and take a click on Cancel
    if (*box && p.bytesSent >= p.bytesTotal) (*box)->hide();
  };
}

}  // namespace kelvane::app::window
