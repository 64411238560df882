#pragma once

#include <QString>

#include "config/persistent.h"
#include "config/property_table.h"

namespace wavenard {

// The base of every settings record: a persisted object with a name, which stands in the header of
// its text, and a tag.
class TComponent : public TPersistent {
 public:
  TComponent() = default;

  const QString& Name() const { return FName; }
  void SetName(const QString& AName) { FName = AName; }
  qint32 Tag() const { return FTag; }
  void SetTag(qint32 ATag) { FTag = ATag; }

  // The table every record's table builds on: Name (not stored) and Tag (default 0).
  static const TPropertyTable& ComponentProperties();
  const TPropertyTable& PropertyTable() const override { return ComponentProperties(); }

 private:
  QString FName;
  qint32 FTag = 0;
};

}  // namespace wavenard
