#include "app/certificate_trust.h"

#include <utility>

#include "config/failures.h"
#include "config/pinned_keys.h"
#include "remote/request_worker.h"
#include "support/message_box.h"

namespace wavenard {

TCertificateTrust::TCertificateTrust(TBoxPresenter& ABoxes, std::shared_ptr<TPinnedKeys> APins)
    : FBoxes(ABoxes), FPins(std::move(APins)) {}

bool TCertificateTrust::Consider(const TAPI& ASender) {
  if (FAsking || ASender.Success()) {
    return false;
  }
  if (ASender.CertificateChanged()) {
    if (!std::exchange(FChangeShown, true)) {
      FAsking = true;
      FBoxes.MyMessageBox(ASender.Error(), QStringLiteral("Error"), MB_OK | MB_ICONERROR);
      FAsking = false;
    }
    return false;
  }
  const std::optional<TServerCertificate>& Certificate = ASender.UntrustedCertificate();
  if (!FPins || !Certificate || FDeclined.contains(Certificate->Fingerprint)) {
    return false;
  }
  const QString Address = QStringLiteral("%1:%2").arg(Certificate->Host).arg(Certificate->Port);
  const QString Question =
      QStringLiteral(
          "%1.\n\nSubject: %2\nSHA-256 fingerprint: %3\n\nCompare the fingerprint with the one the station's "
          "administrator gives you. Trust this certificate for %4 from now on?")
          .arg(ASender.Error(), Certificate->Subject, Certificate->Fingerprint, Address);
  FAsking = true;
  const int Answer =
      FBoxes.MyMessageBox(Question, QStringLiteral("Station certificate"), MB_YESNO | MB_ICONWARNING);
  FAsking = false;
  if (Answer != IDYES) {
    FDeclined.insert(Certificate->Fingerprint);
    return false;
  }
  try {
    FPins->Pin(Certificate->Host, Certificate->Port, Certificate->PublicKeyPin);
  } catch (const EFileFailure& E) {
    FDeclined.insert(Certificate->Fingerprint);
    FBoxes.MyMessageBox(QStringLiteral("The certificate could not be trusted: %1").arg(E.Message()),
                        QStringLiteral("Error"), MB_OK | MB_ICONERROR);
    return false;
  }
  return true;
}

}  // namespace wavenard
