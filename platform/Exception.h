// The base of every component's exception class (ECDRIPError, ELameError,
// ...): a fixed English message the windows show as it stands.
#pragma once

#include <QString>
#include <stdexcept>

class Exception : public std::runtime_error {
 public:
  explicit Exception(const QString& message)
      : std::runtime_error(message.toStdString()), FMessage(message) {}
  const QString& Message() const { return FMessage; }

 private:
  QString FMessage;
};
