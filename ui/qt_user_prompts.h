#pragma once

#include <QWidget>

#include "user_prompts.h"

/// UserPrompts on QMessageBox and QFileDialog.
class QtUserPrompts : public UserPrompts {
 public:
  explicit QtUserPrompts(QWidget* parent = nullptr) : parent_(parent) {}
  void setParent(QWidget* parent) { parent_ = parent; }
  Answer confirm(const QString& question, Buttons buttons) override;
  void showError(const QString& message) override;
  void showInformation(const QString& message) override;
  QString saveFileName(const FileDialog& dialog) override;
  QString openFileName(const FileDialog& dialog) override;
  QString folderName(const QString& title, const QString& initialDirectory) override;

 private:
  QWidget* parent_;
};
