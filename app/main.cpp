#include <cstdio>
#include <cstring>

#include "app/error_report.h"
#include "app/startup.h"
#include "support/version.h"

namespace {

constexpr const char* Usage =
    "Usage: wavenard [--version | --help]\n"
    "Works on a radio station's playlist from another computer. The station, the account and the\n"
    "microphone are chosen in the Settings dialog and kept in the settings folder.\n"
    "  --version   print the version and exit\n"
    "  -h, --help  print this help and exit\n";

bool IsArgument(const char* AArgument, const char* AName) {
  return std::strcmp(AArgument, AName) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Answered before the application object exists, so they need no display.
  if (argc == 2 && IsArgument(argv[1], "--version")) {
    std::printf("Wavenard %s\n", WAVENARD_VERSION);
    return 0;
  }
  if (argc == 2 && (IsArgument(argv[1], "--help") || IsArgument(argv[1], "-h"))) {
    std::fputs(Usage, stdout);
    return 0;
  }
  wavenard::TWavenardApplication Application(argc, argv);
  Application.setApplicationName(QStringLiteral("Wavenard"));
  Application.setApplicationVersion(QStringLiteral(WAVENARD_VERSION));
  return wavenard::RunWavenard(Application);
}
