#include "tests/testsupport/scripted_box_presenter.h"

namespace wavenard::test {

int TScriptedBoxPresenter::Present(const TBoxRequest& ARequest) {
  FShown.append(ARequest);
  if (!FDuring.empty()) {
    const std::function<void()> During = std::move(FDuring.front());
    FDuring.pop_front();
    During();
  }
  if (FAnswers.empty()) {
    return IDOK;
  }
  const int Answer = FAnswers.front();
  FAnswers.pop_front();
  return Answer;
}

}  // namespace wavenard::test
