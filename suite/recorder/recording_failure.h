#pragma once

#include <QByteArray>
#include <QString>
#include <exception>
#include <utility>

namespace wavenard {

// A recording that cannot start or go on, carrying the reason the user is shown.
class ERecordingFailure final : public std::exception {
 public:
  explicit ERecordingFailure(QString AMessage) : FMessage(std::move(AMessage)), FWhat(FMessage.toUtf8()) {}

  const QString& Message() const { return FMessage; }
  const char* what() const noexcept override { return FWhat.constData(); }

 private:
  QString FMessage;
  QByteArray FWhat;
};

}  // namespace wavenard
