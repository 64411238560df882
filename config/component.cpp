#include "config/component.h"

namespace wavenard {

const TPropertyTable& TComponent::ComponentProperties() {
  static const TPropertyTable Table(
      QStringLiteral("TComponent"), nullptr,
      {
          StringProperty(QStringLiteral("Name"), Methods(&TComponent::Name, &TComponent::SetName))
              .NotStored(),
          IntegerProperty(QStringLiteral("Tag"), Methods(&TComponent::Tag, &TComponent::SetTag)).Default(0),
      });
  return Table;
}

}  // namespace wavenard
