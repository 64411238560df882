#include "support/threads/hand_over.h"

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
  std::shared_ptr<THandOver> Result(new THandOver(AContext));
  if (AContext != nullptr) {
    // Emitted on the context's thread while the object is still whole; a worker queueing at
    // that moment holds the lock, so its call is queued before the object's pending calls are
    // dropped, never to a freed object.
    Result->FDestroyed = QObject::connect(AContext, &QObject::destroyed, [Weak = std::weak_ptr(Result)] {
      if (const auto Self = Weak.lock()) {
        Self->Close();
      }
    });
  }
  return Result;
}

THandOver::THandOver(QObject* AContext)
    : FContext(AContext),
      FThread(AContext != nullptr ? AContext->thread() : nullptr),
      FClosed(AContext == nullptr) {}

THandOver::~THandOver() {
  QObject::disconnect(FDestroyed);
}

bool THandOver::Call(const std::function<void()>& AFunction) {
  if (QThread::currentThread() == FThread) {
    if (Closed()) {
      return false;
    }
    AFunction();
    return true;
  }
  auto State = std::make_shared<TCallState>();
  auto Self = shared_from_this();
  // Held until the lock is released: if Qt refuses the call, the completion must not be
  // destroyed (taking the lock) while this thread holds it.
  auto Completion = std::make_shared<TCompletion>(Self, FLock, FChanged, State);
  std::unique_lock Guard(FLock);
  if (FClosed) {
    return false;
  }
  const bool Queued = QueueCall(FContext, [Self, State, Completion, &AFunction]() mutable {
    {
      std::lock_guard Guard(Self->FLock);
      if (Self->FClosed) {
        return;
      }
      State->Running = true;
    }
    // The caller waits for a call that has begun running, so AFunction is alive here.
    AFunction();
    // Said under the lock, so that the caller's wake-up never depends on which of the two
    // threads lets go of the completion last.
    {
      std::lock_guard Guard(Self->FLock);
      State->Delivered = true;
      State->Done = true;
    }
    Self->FChanged.notify_all();
    Completion.reset();
  });
  if (!Queued) {
    return false;
  }
  ++FWaiting;
  Guard.unlock();
  Completion.reset();
  Guard.lock();
  FChanged.wait(Guard, [&] { return State->Done || (FClosed && !State->Running); });
  --FWaiting;
  return State->Delivered;
}

void THandOver::Close() {
  {
    std::lock_guard Guard(FLock);
    FClosed = true;
  }
  FChanged.notify_all();
}

int THandOver::Waiting() const {
  std::lock_guard Guard(FLock);
  return FWaiting;
}

bool THandOver::Closed() const {
  std::lock_guard Guard(FLock);
  return FClosed;
}

}  // namespace wavenard
