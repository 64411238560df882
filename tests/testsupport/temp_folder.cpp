#include "tests/testsupport/temp_folder.h"

#include <QFile>
#include <stdexcept>

namespace wavenard::test {

TTempFolder::TTempFolder() {
  if (!FDir.isValid()) {
    throw std::runtime_error("cannot create a temporary folder");
  }
}

QString TTempFolder::Path() const {
  return FDir.path() + QLatin1Char('/');
}

QString TTempFolder::Write(const QString& AName, const QByteArray& AContent) const {
  const QString Name = File(AName);
  QFile F(Name);
  if (!F.open(QIODevice::WriteOnly | QIODevice::Truncate) || F.write(AContent) != AContent.size()) {
    throw std::runtime_error("cannot write a test file");
  }
  return Name;
}

QByteArray TTempFolder::Read(const QString& AName) const {
  QFile F(File(AName));
  if (!F.open(QIODevice::ReadOnly)) {
    return {};
  }
  return F.readAll();
}

}  // namespace wavenard::test
