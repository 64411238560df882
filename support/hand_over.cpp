#include "support/hand_over.h"

#include "support/queued_call.h"

#include <QThread>

namespace wavenard {

namespace {

// Completion of one handed-over call. Done is set when the call has run, or when Qt drops
// the queued call (its context died) and the captured state is destroyed unrun.
struct TCallState {
  bool Running = false;
  bool Done = false;
  bool Delivered = false;
};

class TCompletion {
 public:
  TCompletion(std::shared_ptr<THandOver> AOwner, std::mutex& ALock, std::condition_variable& AChanged,
              std::shared_ptr<TCallState> AState)
      : FOwner(std::move(AOwner)), FLock(ALock), FChanged(AChanged), FState(std::move(AState)) {}
  TCompletion(TCompletion&&) = default;
  ~TCompletion() {
    if (!FState) {
      return;
    }
    {
      std::lock_guard Guard(FLock);
      FState->Done = true;
    }
    FChanged.notify_all();
  }

 private:
  std::shared_ptr<THandOver> FOwner;  // keeps the lock and the condition alive
  std::mutex& FLock;
  std::condition_variable& FChanged;
  std::shared_ptr<TCallState> FState;
};

}  // namespace

std::shared_ptr<THandOver> THandOver::Create(QObject* AContext) {
  return std::shared_ptr<THandOver>(new THandOver(AContext));
}

THandOver::THandOver(QObject* AContext) : FContext(AContext) {}

THandOver::~THandOver() = default;

bool THandOver::Call(const std::function<void()>& AFunction) {
  QObject* Context = FContext.data();
  if (Context != nullptr && QThread::currentThread() == Context->thread()) {
    if (Closed()) {
      return false;
    }
    AFunction();
    return true;
  }
  auto State = std::make_shared<TCallState>();
  {
    std::lock_guard Guard(FLock);
    if (FClosed || Context == nullptr) {
      return false;
    }
  }
  auto Self = shared_from_this();
  auto Completion = std::make_shared<TCompletion>(Self, FLock, FChanged, State);
  const bool Queued = QueueCall(Context, [Self, State, Completion, &AFunction]() mutable {
    {
      std::lock_guard Guard(Self->FLock);
      if (Self->FClosed) {
        return;
      }
      State->Running = true;
    }
    // The caller waits for a call that has begun running, so AFunction is alive here.
    AFunction();
    State->Delivered = true;
    Completion.reset();
  });
  Completion.reset();
  if (!Queued) {
    return false;
  }
  std::unique_lock Guard(FLock);
  FChanged.wait(Guard, [&] { return State->Done || (FClosed && !State->Running); });
  return State->Delivered;
}

void THandOver::Post(std::function<void()> AFunction) {
  QObject* Context = FContext.data();
  if (Context == nullptr || Closed()) {
    return;
  }
  auto Self = shared_from_this();
  QueueCall(Context, [Self, Function = std::move(AFunction)] {
    if (!Self->Closed()) {
      Function();
    }
  });
}

void THandOver::Close() {
  {
    std::lock_guard Guard(FLock);
    FClosed = true;
  }
  FChanged.notify_all();
}

bool THandOver::Closed() const {
  std::lock_guard Guard(FLock);
  return FClosed;
}

}  // namespace wavenard
