#pragma once

#include <QApplication>
#include <QString>
#include <exception>

namespace wavenard {

class TBoxPresenter;

// The application's general error report: the failure's text in an "Error" box.
void ShowErrorReport(TBoxPresenter& ABoxes, const std::exception& AError);

// The application object. A failure that escapes an event handler ends in the general error
// report, and the program goes on.
class TWavenardApplication final : public QApplication {
  Q_OBJECT

 public:
  TWavenardApplication(int& AArgc, char** AArgv);
  Q_DISABLE_COPY_MOVE(TWavenardApplication)

  // Without a presenter a failure is only logged.
  void SetBoxes(TBoxPresenter* ABoxes) { FBoxes = ABoxes; }
  void Report(const std::exception& AError) const;

  bool notify(QObject* AReceiver, QEvent* AEvent) override;

 private:
  TBoxPresenter* FBoxes = nullptr;
};

}  // namespace wavenard
