#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace wavenard::test {

// A temporary folder for one test, removed with everything in it afterwards.
class TTempFolder {
 public:
  TTempFolder();
  // The folder's path, ending with the path delimiter.
  QString Path() const;
  QString File(const QString& AName) const { return Path() + AName; }
  QString Write(const QString& AName, const QByteArray& AContent) const;
  QByteArray Read(const QString& AName) const;

 private:
  QTemporaryDir FDir;
};

}  // namespace wavenard::test
