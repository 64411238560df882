#pragma once

#include <QHash>
#include <QString>
#include <QStringView>
#include <vector>

#include "config/property_info.h"

namespace wavenard {

// The ordered persisted properties of one class: its base class's first, in the base's order, then
// its own in declaration order. A redeclared property keeps the place of its first declaration and
// takes the new declaration's attributes.
class TPropertyTable final {
 public:
  // ABase may be null for a class without persisted ancestors.
  TPropertyTable(QString AClassName, const TPropertyTable* ABase, std::vector<TPropertyInfo> AOwn);
  Q_DISABLE_COPY_MOVE(TPropertyTable)

  const QString& ClassName() const { return FClassName; }
  const std::vector<TPropertyInfo>& Properties() const { return FProperties; }
  // The property of that name, without regard to case; null when the class has none.
  const TPropertyInfo* Find(QStringView AName) const;

 private:
  void Declare(TPropertyInfo AInfo);

  QString FClassName;
  std::vector<TPropertyInfo> FProperties;
  QHash<QString, int> FIndex;
};

}  // namespace wavenard
