#include <cstdio>
#include <cstring>

#include "app/error_report.h"
#include "app/startup.h"

int main(int argc, char** argv) {
  // Answered before the application object exists, so it needs no display.
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("Wavenard %s\n", WAVENARD_VERSION);
    return 0;
  }
  wavenard::TWavenardApplication Application(argc, argv);
  Application.setApplicationName(QStringLiteral("Wavenard"));
  Application.setApplicationVersion(QStringLiteral(WAVENARD_VERSION));
  return wavenard::RunWavenard(Application);
}
