#pragma once

#include <QByteArray>
#include <QString>
#include <exception>
#include <utility>

namespace wavenard {

// A failure of the settings storage, carrying the text the user is shown.
class ESettingsFailure : public std::exception {
 public:
  explicit ESettingsFailure(QString AMessage) : FMessage(std::move(AMessage)), FWhat(FMessage.toUtf8()) {}

  const QString& Message() const { return FMessage; }
  const char* what() const noexcept override { return FWhat.constData(); }

 private:
  QString FMessage;
  QByteArray FWhat;
};

// The file cannot be created, opened or read, or an entry of its text cannot be read into the record.
class EFileFailure final : public ESettingsFailure {
 public:
  using ESettingsFailure::ESettingsFailure;
};

// The text is not object text; nothing of it has been applied.
class ESyntaxFailure final : public ESettingsFailure {
 public:
  using ESettingsFailure::ESettingsFailure;
};

}  // namespace wavenard
