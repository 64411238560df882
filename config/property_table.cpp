#include "config/property_table.h"

#include <utility>

namespace wavenard {

TPropertyTable::TPropertyTable(QString AClassName, const TPropertyTable* ABase,
                               std::vector<TPropertyInfo> AOwn)
    : FClassName(std::move(AClassName)) {
  if (ABase != nullptr) {
    FProperties = ABase->FProperties;
    FIndex = ABase->FIndex;
  }
  for (TPropertyInfo& Info : AOwn) {
    Declare(std::move(Info));
  }
}

void TPropertyTable::Declare(TPropertyInfo AInfo) {
  AInfo.Utf8Name = AInfo.Name.toUtf8();
  const QString Key = AInfo.Name.toCaseFolded();
  const auto Existing = FIndex.constFind(Key);
  if (Existing != FIndex.constEnd()) {
    FProperties[static_cast<size_t>(*Existing)] = std::move(AInfo);
    return;
  }
  FIndex.insert(Key, static_cast<int>(FProperties.size()));
  FProperties.push_back(std::move(AInfo));
}

const TPropertyInfo* TPropertyTable::Find(QStringView AName) const {
  const auto Found = FIndex.constFind(AName.toString().toCaseFolded());
  return Found == FIndex.constEnd() ? nullptr : &FProperties[static_cast<size_t>(*Found)];
}

}  // namespace wavenard
