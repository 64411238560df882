#pragma once

#include <QString>
#include <initializer_list>
#include <optional>
#include <utility>
#include <vector>

#include "config/property_info.h"
#include "config/property_table.h"

namespace wavenard {

// The values of the properties a record holds for the rest of the suite without using them: one
// slot per property, numbered by the declarations of the class that carries them. They are read
// and written through the property table like any field, but need no field and no accessor each.
class TCarriedValues final {
 public:
  qint32 Ordinal(int ASlot) const { return FOrdinals[static_cast<size_t>(ASlot)]; }
  void SetOrdinal(int ASlot, qint32 AValue) { FOrdinals[static_cast<size_t>(ASlot)] = AValue; }
  double Float(int ASlot) const { return FFloats[static_cast<size_t>(ASlot)]; }
  void SetFloat(int ASlot, double AValue) { FFloats[static_cast<size_t>(ASlot)] = AValue; }
  const QString& Text(int ASlot) const { return FTexts[static_cast<size_t>(ASlot)]; }
  void SetText(int ASlot, const QString& AValue) { FTexts[static_cast<size_t>(ASlot)] = AValue; }

 private:
  template <class O>
  friend class TCarriedTable;

  // Ordinal kinds (integer, Boolean, enumeration, set) share one list; a set is its bit mask.
  std::vector<qint32> FOrdinals;
  std::vector<double> FFloats;
  std::vector<QString> FTexts;
};

// Declares, in write order, the properties of a class of owner O whose carried values lie in its
// member AStore, and collects their construction values. Properties the class holds in fields of
// their own (values it uses, string lists, collections) go in between with Add(). Ordinal
// properties declare no default unless one is given, as everywhere in the record model.
template <class O>
class TCarriedTable final {
 public:
  explicit TCarriedTable(TCarriedValues O::*AStore) : FStore(AStore) {}

  TCarriedTable& Integer(const char* AName, qint32 AInitial = 0, std::optional<qint32> ADefault = {}) {
    return Declare(IntegerProperty(Name(AName), OrdinalSlot<qint32>(AInitial)), ADefault);
  }
  TCarriedTable& Boolean(const char* AName, bool AInitial = false, std::optional<bool> ADefault = {}) {
    return Declare(BooleanProperty(Name(AName), OrdinalSlot<bool>(AInitial)),
                   ADefault ? std::optional<qint32>(*ADefault ? 1 : 0) : std::nullopt);
  }
  TCarriedTable& Enumeration(const char* AName, TEnumNames ANames, qint32 AInitial = 0) {
    return Declare(EnumProperty(Name(AName), OrdinalSlot<qint32>(AInitial), std::move(ANames)), {});
  }
  TCarriedTable& Set(const char* AName, TEnumNames AMemberNames) {
    return Declare(SetProperty(Name(AName), OrdinalSlot<quint32>(0), std::move(AMemberNames)), {});
  }
  TCarriedTable& Float(const char* AName, double AInitial = 0) {
    const int Slot = static_cast<int>(FInitial.FFloats.size());
    FInitial.FFloats.push_back(AInitial);
    return Add(FloatProperty(
        Name(AName),
        TAccessor<O, double>{
            [Store = FStore, Slot](const O& AOwner) { return (AOwner.*Store).Float(Slot); },
            [Store = FStore, Slot](O& AOwner, double AValue) { (AOwner.*Store).SetFloat(Slot, AValue); }}));
  }
  // A text is left out of the file while empty, unless AAlwaysWritten.
  TCarriedTable& Text(const char* AName, const QString& AInitial = {}, bool AAlwaysWritten = false) {
    const int Slot = static_cast<int>(FInitial.FTexts.size());
    FInitial.FTexts.push_back(AInitial);
    TPropertyInfo Info = StringProperty(
        Name(AName),
        TAccessor<O, QString>{
            [Store = FStore, Slot](const O& AOwner) { return (AOwner.*Store).Text(Slot); },
            [Store = FStore, Slot](O& AOwner, QString AValue) { (AOwner.*Store).SetText(Slot, AValue); }});
    return Add(AAlwaysWritten ? Info.NoDefault() : std::move(Info));
  }

  TCarriedTable& Integers(std::initializer_list<const char*> ANames) {
    for (const char* Each : ANames) {
      Integer(Each);
    }
    return *this;
  }
  TCarriedTable& Booleans(std::initializer_list<const char*> ANames) {
    for (const char* Each : ANames) {
      Boolean(Each);
    }
    return *this;
  }
  TCarriedTable& Floats(std::initializer_list<const char*> ANames) {
    for (const char* Each : ANames) {
      Float(Each);
    }
    return *this;
  }
  TCarriedTable& Texts(std::initializer_list<const char*> ANames) {
    for (const char* Each : ANames) {
      Text(Each);
    }
    return *this;
  }

  TCarriedTable& Add(TPropertyInfo AInfo) {
    FProperties.push_back(std::move(AInfo));
    return *this;
  }

  std::vector<TPropertyInfo> TakeProperties() { return std::move(FProperties); }
  const TCarriedValues& Initial() const { return FInitial; }

 private:
  static QString Name(const char* AName) { return QString::fromLatin1(AName); }

  template <class V>
  TAccessor<O, V> OrdinalSlot(V AInitial) {
    const int Slot = static_cast<int>(FInitial.FOrdinals.size());
    FInitial.FOrdinals.push_back(static_cast<qint32>(AInitial));
    return {[Store = FStore, Slot](const O& AOwner) { return static_cast<V>((AOwner.*Store).Ordinal(Slot)); },
            [Store = FStore, Slot](O& AOwner, V AValue) {
              (AOwner.*Store).SetOrdinal(Slot, static_cast<qint32>(AValue));
            }};
  }

  TCarriedTable& Declare(TPropertyInfo AInfo, std::optional<qint32> ADefault) {
    return Add(ADefault ? AInfo.Default(*ADefault) : std::move(AInfo));
  }

  TCarriedValues O::*FStore;
  std::vector<TPropertyInfo> FProperties;
  TCarriedValues FInitial;
};

// A class's property table with the construction values of the properties it carries.
struct TCarriedClass {
  template <class O>
  TCarriedClass(QString AClassName, const TPropertyTable* ABase, TCarriedTable<O> ADeclarations)
      : Initial(ADeclarations.Initial()),
        Table(std::move(AClassName), ABase, ADeclarations.TakeProperties()) {}
  Q_DISABLE_COPY_MOVE(TCarriedClass)

  const TCarriedValues Initial;
  const TPropertyTable Table;
};

}  // namespace wavenard
