#include "toolkit/qt_dialogs.hpp"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "toolkit/modal.hpp"
#include "toolkit/objects.hpp"

namespace kelvane::toolkit {

namespace {

QWidget* parentWindow() {
  QWidget* w = QApplication::activeModalWidget();
  if (!w) w = QApplication::activeWindow();
  return w;
}

QString q(const std::string& s) {
  return QString::fromStdString(s);
}

void showBox(QMessageBox::Icon icon, const std::string& text, const std::string& title) {
  QMessageBox box(icon, q(title), q(text), QMessageBox::Ok, parentWindow());
  modalStarted(&box);
  box.exec();
}

}  // namespace

std::string QtDialogs::question(const std::string& text, const std::string& title,
                                const std::vector<std::string>& buttons,
                                const std::string& defaultButton) {
  application();
  QMessageBox box(QMessageBox::Question, q(title), q(text), QMessageBox::NoButton, parentWindow());
  std::vector<QAbstractButton*> made;
  for (const auto& label : buttons) {
    QPushButton* b = box.addButton(q(label), QMessageBox::ActionRole);
    made.push_back(b);
    if (label == defaultButton) {
      box.setDefaultButton(b);
      box.setEscapeButton(b);  // Escape chooses the default, as closing the box does
    }
  }
  modalStarted(&box);
  box.exec();
  for (std::size_t i = 0; i < made.size(); ++i)
    if (box.clickedButton() == made[i]) return buttons[i];
  return "";  // closed without a choice
}

void QtDialogs::error(const std::string& text, const std::string& title) {
  application();
  showBox(QMessageBox::Critical, text, title);
}

void QtDialogs::message(const std::string& text, const std::string& title) {
  application();
  showBox(QMessageBox::Information, text, title);
}

std::optional<std::vector<std::string>> QtDialogs::input(const std::string& title,
                                                         const std::vector<std::string>& prompts,
                                                         const std::vector<std::string>& defaults) {
  application();
  QDialog dialog(parentWindow());
  dialog.setWindowTitle(q(title));
  auto* form = new QFormLayout;
  std::vector<QLineEdit*> fields;
  for (std::size_t i = 0; i < prompts.size(); ++i) {
    auto* field = new QLineEdit(i < defaults.size() ? q(defaults[i]) : QString());
    form->addRow(q(prompts[i]), field);
    fields.push_back(field);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(buttons);
  modalStarted(&dialog);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  std::vector<std::string> lines;
  for (QLineEdit* f : fields)
    lines.push_back(f->text().toStdString());
  return lines;
}

namespace {

std::optional<std::filesystem::path> fileDialog(QFileDialog::AcceptMode mode,
                                                const std::string& title, const std::string& filter,
                                                const std::filesystem::path& folder) {
  application();
  QFileDialog dialog(parentWindow(), q(title), q(folder.string()));
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
  if (!filter.empty()) dialog.setNameFilter(q(filter));
  // Qt's own dialog, the same on every desktop and under the test platform.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  modalStarted(&dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return std::filesystem::path(dialog.selectedFiles().front().toStdString());
}

}  // namespace

std::optional<std::filesystem::path> QtDialogs::openFile(const std::string& title,
                                                         const std::string& filter,
                                                         const std::filesystem::path& folder) {
  return fileDialog(QFileDialog::AcceptOpen, title, filter, folder);
}

std::optional<std::filesystem::path> QtDialogs::saveFile(const std::string& title,
                                                         const std::string& filter,
                                                         const std::filesystem::path& folder) {
  return fileDialog(QFileDialog::AcceptSave, title, filter, folder);
}

bool pressButton(QWidget* modal, const std::string& label) {
  if (!modal) return false;
  const QString wanted = q(label).remove('&');
  for (QAbstractButton* b : modal->findChildren<QAbstractButton*>()) {
    if (b->text().remove('&') == wanted && b->isVisible()) {
      b->click();
      return true;
    }
  }
  return false;
}

}  // namespace kelvane::toolkit
