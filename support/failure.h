#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace wavenard {

// The base of every failure this program raises: it carries the text the user is shown. what()
// gives the same text in UTF-8, for code that knows only std::exception.
class EFailure : public std::exception {
 public:
  explicit EFailure(QString AMessage);

  const QString& Message() const { return FMessage; }
  const char* what() const noexcept override { return FWhat.constData(); }

 private:
  QString FMessage;
  QByteArray FWhat;
};

// The text of a failure that escaped an operation: the message of an EFailure, the UTF-8 text of
// what() for any other exception.
QString FailureText(const std::exception& AFailure);

}  // namespace wavenard
