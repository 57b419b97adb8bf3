#pragma once

#include <QString>
#include <stdexcept>

/// The program's one error type: file and conversion failures carry the exact text the user sees.
class VelanError : public std::runtime_error {
 public:
  explicit VelanError(const QString& message)
      : std::runtime_error(message.toStdString()), message_(message) {}
  const QString& message() const { return message_; }

 private:
  QString message_;
};
