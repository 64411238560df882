#include "app/plain_text_notice.h"

#include "app/connection_lock.h"
#include "config/connection_settings.h"
#include "remote/station_address.h"
#include "support/message_box.h"

namespace wavenard {

TPlainTextNotice::TPlainTextNotice(std::shared_ptr<const TSettings> ASettings, TBoxPresenter& ABoxes,
                                   TConnectionLock& ALock)
    : FSettings(std::move(ASettings)), FBoxes(ABoxes), FLock(ALock) {}

void TPlainTextNotice::Update() {
  const TStationAddress Station = TStationAddress::FromServer(FSettings->Server());
  FLock.ShowFor(Station);
  if (FShown || Station.Tls || Station.Host.isEmpty() || IsLoopbackHost(Station.Host)) {
    return;
  }
  // Set before the box opens: ticks go on while it is shown.
  FShown = true;
  FBoxes.MyMessageBox(QString::fromUtf16(Text), QStringLiteral("Wavenard"), MB_OK | MB_ICONWARNING);
}

}  // namespace wavenard
