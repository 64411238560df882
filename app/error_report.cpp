#include "app/error_report.h"

#include "support/failure.h"
#include "support/message_box.h"

namespace wavenard {

void ShowErrorReport(TBoxPresenter& ABoxes, const std::exception& AError) {
  ABoxes.MyMessageBox(FailureText(AError), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
}

TWavenardApplication::TWavenardApplication(int& AArgc, char** AArgv) : QApplication(AArgc, AArgv) {}

void TWavenardApplication::Report(const std::exception& AError) const {
  if (FBoxes) {
    ShowErrorReport(*FBoxes, AError);
  } else {
    qWarning("%s", AError.what());
  }
}

bool TWavenardApplication::notify(QObject* AReceiver, QEvent* AEvent) {
  try {
    return QApplication::notify(AReceiver, AEvent);
  } catch (const std::exception& E) {
    Report(E);
  }
  return false;
}

}  // namespace wavenard
