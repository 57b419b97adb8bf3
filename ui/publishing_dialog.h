#pragma once

#include <QDialog>

#include "publish_settings.h"

class QCheckBox;
class QLabel;
class QLineEdit;

/// Options > "Publishing...": the broker the rows go to, kept per user. The password goes into
/// a file only the user may read, never into the settings.
class PublishingDialog : public QDialog {
  Q_OBJECT
 public:
  explicit PublishingDialog(const PublishSettings& settings, QWidget* parent = nullptr);
  PublishSettings settings() const;
  /// The password typed; empty: the kept one stays.
  QString password() const;

  void accept() override;

 private:
  QLineEdit* broker_;
  QLineEdit* topic_;
  QLineEdit* userName_;
  QLineEdit* password_;
  QLineEdit* caFile_;
  QCheckBox* publish_;
  QCheckBox* homeAssistant_;
  QLabel* problem_;
};
