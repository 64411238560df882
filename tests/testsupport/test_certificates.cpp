#include "tests/testsupport/test_certificates.h"

#include <QProcess>
#include <iostream>

namespace wavenard::test {

TTestCertificates::TTestCertificates() {
  QProcess Maker;
  Maker.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  Maker.start(QStringLiteral("/bin/sh"), {QStringLiteral(WAVENARD_TEST_CERTIFICATES_SCRIPT), FFolder.Path()});
  FMade = Maker.waitForFinished(60000) && Maker.exitStatus() == QProcess::NormalExit && Maker.exitCode() == 0;
  if (!FMade) {
    std::cerr << "the test certificates could not be made\n";
  }
}

}  // namespace wavenard::test
