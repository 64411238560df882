#include "config/property_info.h"

namespace wavenard {

TEnumNames::TEnumNames(std::initializer_list<QString> ANames) : FNames(ANames) {
  FUtf8Names.reserve(FNames.size());
  for (const QString& Name : FNames) {
    FUtf8Names.push_back(Name.toUtf8());
  }
}

int TEnumNames::Find(QStringView AName) const {
  for (size_t I = 0; I < FNames.size(); ++I) {
    if (AName.compare(FNames[I], Qt::CaseInsensitive) == 0) {
      return static_cast<int>(I);
    }
  }
  return -1;
}

const TEnumNames& BooleanNames() {
  static const TEnumNames Names{QStringLiteral("False"), QStringLiteral("True")};
  return Names;
}

TPropertyInfo TPropertyInfo::Default(qint32 AValue) const {
  TPropertyInfo Info = *this;
  Info.DeclaredDefault = AValue;
  return Info;
}

TPropertyInfo TPropertyInfo::NoDefault() const {
  TPropertyInfo Info = *this;
  Info.DeclaredDefault.reset();
  return Info;
}

TPropertyInfo TPropertyInfo::NotStored() const {
  TPropertyInfo Info = *this;
  Info.Stored = false;
  return Info;
}

TPropertyInfo TPropertyInfo::ReadOnly() const {
  TPropertyInfo Info = *this;
  Info.Writable = false;
  return Info;
}

}  // namespace wavenard
