#pragma once

#include <QtGlobal>
#include <memory>

namespace wavenard {

class TBoxPresenter;
class TConnectionLock;
class TSettings;

// Keeps the presenter aware of how the password travels: the lock follows the Server setting,
// and the first time in a run that requests go in plain text to a station that is not on this
// machine, a box says so.
class TPlainTextNotice final {
 public:
  static constexpr char16_t Text[] =
      u"The connection to the station is not encrypted: the password can be read on the network.";

  TPlainTextNotice(std::shared_ptr<const TSettings> ASettings, TBoxPresenter& ABoxes, TConnectionLock& ALock);
  Q_DISABLE_COPY_MOVE(TPlainTextNotice)

  // Before a request: reads the Server setting (under its lock) and brings lock and notice up
  // to date.
  void Update();

 private:
  const std::shared_ptr<const TSettings> FSettings;
  TBoxPresenter& FBoxes;
  TConnectionLock& FLock;
  bool FShown = false;
};

}  // namespace wavenard
