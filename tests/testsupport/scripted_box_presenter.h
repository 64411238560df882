#pragma once

#include <QList>
#include <deque>
#include <functional>

#include "support/message_box.h"

namespace wavenard::test {

// Answers message boxes without showing them: records every box and returns the next scripted
// answer (OK when none is left).
class TScriptedBoxPresenter final : public TBoxPresenter {
 public:
  void AnswerNext(int AButton) { FAnswers.push_back(AButton); }
  // Runs AAction while the next box is open, before it is answered.
  void DuringNext(std::function<void()> AAction) { FDuring.push_back(std::move(AAction)); }
  const QList<TBoxRequest>& Shown() const { return FShown; }
  void Clear() { FShown.clear(); }

 protected:
  int Present(const TBoxRequest& ARequest) override;

 private:
  std::deque<int> FAnswers;
  std::deque<std::function<void()>> FDuring;
  QList<TBoxRequest> FShown;
};

}  // namespace wavenard::test
