#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "converter_driver.h"
#include "user_prompts.h"

/// A converter whose answers a test scripts; it records every call.
class ScriptedDriver : public ConverterDriver {
 public:
  bool opens = false;
  QString failure;                                             ///< why an open failed
  std::map<int, std::deque<std::optional<int32_t>>> readings;  ///< per channel, consumed
  QStringList calls;
  ConverterModel converter = kAdc16;

  const ConverterModel& model() const override { return converter; }

  uint8_t openUnit(int32_t port) override {
    calls << QStringLiteral("open %1").arg(port);
    return opens ? 1 : 0;
  }
  QString openFailure() const override { return failure; }
  uint8_t setChannel(int32_t port, int32_t channel, int32_t a, int32_t b, int32_t c) override {
    calls
        << QStringLiteral("set_channel %1 %2 %3 %4 %5").arg(port).arg(channel).arg(a).arg(b).arg(c);
    return 1;
  }
  uint8_t getValue(int32_t* reading, int32_t, int32_t channel) override {
    auto& queue = readings[channel];
    if (queue.empty()) return 0;
    const std::optional<int32_t> next = queue.front();
    queue.pop_front();
    if (!next) return 0;
    *reading = *next;
    return 1;
  }
  uint8_t closeUnit(int32_t port) override {
    calls << QStringLiteral("close %1").arg(port);
    return 1;
  }
};

/// Prompts with scripted answers; records what was asked and shown.
class ScriptedPrompts : public UserPrompts {
 public:
  std::deque<Answer> answers;  ///< consumed by confirm(); Cancel when empty
  QStringList questions;
  QStringList errors;
  QStringList informations;
  std::deque<QString> saveNames;
  std::deque<QString> openNames;
  std::vector<FileDialog> dialogs;

  Answer confirm(const QString& question, Buttons) override {
    questions << question;
    if (answers.empty()) return Answer::Cancel;
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void showError(const QString& message) override { errors << errorDisplayText(message); }
  void showInformation(const QString& message) override { informations << message; }
  QString saveFileName(const FileDialog& dialog) override { return take(dialog, saveNames); }
  QString openFileName(const FileDialog& dialog) override { return take(dialog, openNames); }
  QString folderName(const QString& title, const QString& initial) override {
    return take({title, {}, {}, initial, {}}, folderNames);
  }
  std::deque<QString> folderNames;

 private:
  QString take(const FileDialog& dialog, std::deque<QString>& names) {
    dialogs.push_back(dialog);
    if (names.empty()) return {};
    QString name = names.front();
    names.pop_front();
    return name;
  }
};
