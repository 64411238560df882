#include "app/error_report.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  wavenard::TWavenardApplication Application(argc, argv);
  Application.setApplicationName(QStringLiteral("Wavenard"));
  Application.setApplicationVersion(QStringLiteral(WAVENARD_VERSION));
  return wavenard::RunWavenard(Application);
}
