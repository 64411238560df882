#pragma once

#include <QString>

#include "tests/testsupport/temp_folder.h"

namespace wavenard::test {

// The test certificates of make_test_certificates.sh, made afresh in a temporary folder: the
// authority "ca.pem" and, for each name, "<name>.pem" and "<name>.key" ("server", "wrong-name",
// "expired", "self-signed", "self-signed-2"). Make them before any server thread runs: the
// openssl tool is started in a child process.
class TTestCertificates {
 public:
  TTestCertificates();
  // False when openssl failed; the reason went to the test's output.
  bool Made() const { return FMade; }
  QString File(const QString& AName) const { return FFolder.File(AName); }

 private:
  TTempFolder FFolder;
  bool FMade = false;
};

}  // namespace wavenard::test
