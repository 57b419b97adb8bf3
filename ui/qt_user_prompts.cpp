#include "qt_user_prompts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

UserPrompts::Answer QtUserPrompts::confirm(const QString& question, Buttons buttons) {
  QMessageBox box(QMessageBox::Question, QStringLiteral("Bestätigung"), question,
                  QMessageBox::NoButton, parent_);
  QPushButton* yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
  QPushButton* no = nullptr;
  if (buttons != Buttons::YesCancel)
    no = box.addButton(QStringLiteral("&Nein"), QMessageBox::NoRole);
  QPushButton* cancel = buttons == Buttons::YesNo
                            ? nullptr
                            : box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
  // Return and Escape give the answer that loses nothing: "Abbrechen" where there is one (its
  // "&Ja" discards or replaces a record), else "&Ja" (the recovery offer, whose "&Nein" deletes).
  QPushButton* keeping = cancel ? cancel : yes;
  box.setDefaultButton(keeping);
  box.setEscapeButton(keeping);
  box.exec();
  if (box.clickedButton() == yes) return Answer::Yes;
  if (no && box.clickedButton() == no) return Answer::No;
  return Answer::Cancel;
}

void QtUserPrompts::showError(const QString& message) {
  QMessageBox::critical(parent_, QStringLiteral("Velan"), errorDisplayText(message));
}

void QtUserPrompts::showInformation(const QString& message) {
  QMessageBox::information(parent_, QStringLiteral("Velan"), message);
}

namespace {
void setUp(QFileDialog& dialog, const UserPrompts::FileDialog& request) {
  dialog.setWindowTitle(request.title);
  dialog.setNameFilter(request.filter);
  if (!request.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(request.defaultSuffix);
  if (!request.initialDirectory.isEmpty()) dialog.setDirectory(request.initialDirectory);
  if (!request.proposedName.isEmpty()) dialog.selectFile(request.proposedName);
}
}  // namespace

QString QtUserPrompts::saveFileName(const FileDialog& request) {
  QFileDialog dialog(parent_);
  setUp(dialog, request);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // The program asks its own overwrite question on the completed name.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

QString QtUserPrompts::openFileName(const FileDialog& request) {
  QFileDialog dialog(parent_);
  setUp(dialog, request);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

QString QtUserPrompts::folderName(const QString& title, const QString& initialDirectory) {
  return QFileDialog::getExistingDirectory(parent_, title, initialDirectory);
}
