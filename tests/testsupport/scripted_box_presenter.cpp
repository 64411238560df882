#include "tests/testsupport/scripted_box_presenter.h"

namespace wavenard::test {

int TScriptedBoxPresenter::Present(const TBoxRequest& ARequest) {
  FShown.append(ARequest);
  if (FAnswers.empty()) {
    return IDOK;
  }
  const int Answer = FAnswers.front();
  FAnswers.pop_front();
  return Answer;
}

}  // namespace wavenard::test
