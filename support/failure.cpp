#include "support/failure.h"

#include <utility>

namespace wavenard {

EFailure::EFailure(QString AMessage) : FMessage(std::move(AMessage)), FWhat(FMessage.toUtf8()) {}

QString FailureText(const std::exception& AFailure) {
  if (const auto* Failure = dynamic_cast<const EFailure*>(&AFailure)) {
    return Failure->Message();
  }
  return QString::fromUtf8(AFailure.what());
}

}  // namespace wavenard
