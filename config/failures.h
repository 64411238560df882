#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace wavenard {

// A failure of the settings file store, carrying the text the user is shown.
class EStoreFailure : public std::exception {
 public:
  explicit EStoreFailure(QString AMessage) : FMessage(std::move(AMessage)), FWhat(FMessage.toUtf8()) {}

  QString Message() const { return FMessage; }
  const char* what() const noexcept override { return FWhat.constData(); }

 private:
  QString FMessage;
  QByteArray FWhat;
};

// The file cannot be created, opened or read, or its records cannot be read back.
class EFileFailure : public EStoreFailure {
 public:
  explicit EFileFailure(QString AMessage) : EStoreFailure(std::move(AMessage)) {}
};

// The file's text is not object text.
class ESyntaxFailure : public EStoreFailure {
 public:
  explicit ESyntaxFailure(QString AMessage) : EStoreFailure(std::move(AMessage)) {}
};

}  // namespace wavenard
