#pragma once

#include <QSet>
#include <QString>
#include <QtGlobal>
#include <memory>

namespace wavenard {

class TAPI;
class TBoxPresenter;
class TPinnedKeys;

// What the presenter is asked and told when a station's certificate stands in the way: a
// certificate that is not trusted may be trusted once, by its public key; a key that changed
// after that is reported in a box, once a run, and never offered again. Main thread only.
class TCertificateTrust final {
 public:
  // Without APins nothing can be trusted and nothing is asked.
  TCertificateTrust(TBoxPresenter& ABoxes, std::shared_ptr<TPinnedKeys> APins);
  Q_DISABLE_COPY_MOVE(TCertificateTrust)

  // After a failed request. True when the presenter has just trusted the station's key, so
  // that asking again is worth it. A certificate declined is not asked about again in this
  // run, and while one box is open no other opens.
  bool Consider(const TAPI& ASender);

 private:
  TBoxPresenter& FBoxes;
  const std::shared_ptr<TPinnedKeys> FPins;
  QSet<QString> FDeclined;
  bool FAsking = false;
  bool FChangeShown = false;
};

}  // namespace wavenard
