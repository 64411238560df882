#pragma once

#include <QLabel>

namespace wavenard {

struct TStationAddress;

// The status bar's lock: shown while the station is reached over https, with the station's
// name as its accessible name and tool tip; hidden for plain HTTP.
class TConnectionLock final : public QLabel {
  Q_OBJECT

 public:
  explicit TConnectionLock(QWidget* AParent = nullptr);
  Q_DISABLE_COPY_MOVE(TConnectionLock)

  void ShowFor(const TStationAddress& AStation);
};

}  // namespace wavenard
