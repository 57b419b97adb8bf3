#pragma once

#include <QString>

/// Every question, message and file dialog the program shows goes through here, so the logic
/// never opens a dialog itself and tests can script the answers.
class UserPrompts {
 public:
  enum class Answer { Yes, No, Cancel };
  enum class Buttons { YesCancel, YesNoCancel, YesNo };

  struct FileDialog {
    QString title;
    QString filter;            ///< Qt filter text, e.g. "Velan Files (*.vln);;All Files (*)"
    QString defaultSuffix;     ///< without the dot; empty = none
    QString initialDirectory;  ///< empty = the platform's choice
    QString proposedName;      ///< the file name the dialog offers; empty = none
  };

  virtual ~UserPrompts() = default;
  /// Confirmation box "Bestätigung" with a question icon. Return and Escape give the answer that
  /// loses nothing: "Abbrechen" where the box has it, else "&Ja".
  virtual Answer confirm(const QString& question, Buttons buttons) = 0;
  /// The general error display: error icon, caption "Velan".
  virtual void showError(const QString& message) = 0;
  virtual void showInformation(const QString& message) = 0;
  /// Returns the chosen full file name, or an empty text when cancelled.
  virtual QString saveFileName(const FileDialog& dialog) = 0;
  virtual QString openFileName(const FileDialog& dialog) = 0;
  /// Returns the chosen existing folder, or an empty text when cancelled.
  virtual QString folderName(const QString& title, const QString& initialDirectory) = 0;
};

/// The message the general error display shows: a full stop is added when the last character
/// sorts after ".".
inline QString errorDisplayText(const QString& message) {
  if (!message.isEmpty() && message.back() > QLatin1Char('.')) return message + QLatin1Char('.');
  return message;
}
