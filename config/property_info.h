#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "config/persistent.h"

namespace wavenard {

class TCollection;

enum class TPropertyKind {
  Integer,      // 32 bits; an unsigned field is handled as its signed bit pattern
  Int64,        //
  Boolean,      //
  Enumeration,  // ordinal of a named value
  Set,          // bit mask over an enumeration's values, up to 32 members
  Character,    // one UTF-16 code unit
  Float,        // single or double precision
  String,       //
  Binary,       // raw bytes, left out while empty
  Reference,    // name of another component, left out while empty
  StringList,   // persisted as the entry "<name>.Strings"
  Collection,   //
  Object,       // nested object with its own table, written with the property's name as prefix
};

// The value names of an enumeration, in ordinal order.
class TEnumNames final {
 public:
  TEnumNames() = default;
  TEnumNames(std::initializer_list<QString> ANames);

  int Count() const { return static_cast<int>(FNames.size()); }
  const QString& Name(int AOrdinal) const { return FNames[static_cast<size_t>(AOrdinal)]; }
  const QByteArray& Utf8Name(int AOrdinal) const { return FUtf8Names[static_cast<size_t>(AOrdinal)]; }
  // The ordinal of a name, matched without regard to case; -1 when there is none.
  int Find(QStringView AName) const;

 private:
  std::vector<QString> FNames;
  std::vector<QByteArray> FUtf8Names;
};

const TEnumNames& BooleanNames();

// Type-erased access to a property's value through the object that holds it.
struct TOrdinalAccess {
  std::function<qint64(const TPersistent&)> Get;
  std::function<void(TPersistent&, qint64)> Set;
};
struct TFloatAccess {
  std::function<double(const TPersistent&)> Get;
  std::function<void(TPersistent&, double)> Set;
  bool Single = false;
};
struct TTextAccess {
  std::function<QString(const TPersistent&)> Get;
  std::function<void(TPersistent&, const QString&)> Set;
};
struct TBytesAccess {
  std::function<QByteArray(const TPersistent&)> Get;
  std::function<void(TPersistent&, const QByteArray&)> Set;
};
// A nested object is reached through its holder; a null pointer means the object is missing.
template <class TNested>
struct TNestedAccess {
  std::function<const TNested*(const TPersistent&)> Get;
  std::function<TNested*(TPersistent&)> Edit;
};

// One entry of a property table.
struct TPropertyInfo {
  QString Name;
  QByteArray Utf8Name;
  TPropertyKind Kind = TPropertyKind::Integer;
  bool Stored = true;
  bool Writable = true;
  // For ordinal kinds the value that is left out of the text; for float and string kinds only its
  // presence counts (zero and empty are left out).
  std::optional<qint32> DeclaredDefault;
  TEnumNames Names;  // Boolean, Enumeration, Set
  std::variant<TOrdinalAccess, TFloatAccess, TTextAccess, TBytesAccess, TNestedAccess<QStringList>,
               TNestedAccess<TCollection>, TNestedAccess<TPersistent>>
      Access;

  TPropertyInfo Default(qint32 AValue) const;
  TPropertyInfo NoDefault() const;
  TPropertyInfo NotStored() const;
  TPropertyInfo ReadOnly() const;
};

// How a record class reaches one of its values: a field, a getter and a setter, or lambdas. An
// empty Set makes the property read-only.
template <class TOwner, class TValue>
struct TAccessor {
  std::function<TValue(const TOwner&)> Get;
  std::function<void(TOwner&, TValue)> Set;
};

template <class O, class V>
TAccessor<O, V> Field(V O::*AField) {
  return {[AField](const O& AOwner) { return AOwner.*AField; },
          [AField](O& AOwner, V AValue) { AOwner.*AField = std::move(AValue); }};
}

template <class O, class G, class S>
TAccessor<O, std::remove_cvref_t<G>> Methods(G (O::*AGet)() const, void (O::*ASet)(S)) {
  using V = std::remove_cvref_t<G>;
  return {[AGet](const O& AOwner) -> V { return (AOwner.*AGet)(); },
          [ASet](O& AOwner, V AValue) { (AOwner.*ASet)(std::move(AValue)); }};
}

template <class O, class G>
TAccessor<O, std::remove_cvref_t<G>> Getter(G (O::*AGet)() const) {
  using V = std::remove_cvref_t<G>;
  return {[AGet](const O& AOwner) -> V { return (AOwner.*AGet)(); }, nullptr};
}

namespace property_detail {

template <class V>
qint64 ToOrdinal(V AValue) {
  if constexpr (std::is_same_v<V, QChar>) {
    return AValue.unicode();
  } else {
    return static_cast<qint64>(AValue);
  }
}

template <class V>
V FromOrdinal(qint64 AValue) {
  if constexpr (std::is_same_v<V, bool>) {
    return AValue != 0;
  } else if constexpr (std::is_same_v<V, QChar>) {
    return QChar(static_cast<char16_t>(AValue));
  } else {
    return static_cast<V>(AValue);
  }
}

template <class O, class V>
TPropertyInfo Ordinal(TPropertyKind AKind, QString AName, TAccessor<O, V> AAccess, TEnumNames ANames = {}) {
  TOrdinalAccess Access;
  Access.Get = [Get = std::move(AAccess.Get)](const TPersistent& AObject) {
    return ToOrdinal<V>(Get(static_cast<const O&>(AObject)));
  };
  if (AAccess.Set) {
    Access.Set = [Set = std::move(AAccess.Set)](TPersistent& AObject, qint64 AValue) {
      Set(static_cast<O&>(AObject), FromOrdinal<V>(AValue));
    };
  }
  TPropertyInfo Info;
  Info.Name = std::move(AName);
  Info.Kind = AKind;
  Info.Writable = static_cast<bool>(Access.Set);
  Info.Names = std::move(ANames);
  Info.Access = std::move(Access);
  return Info;
}

template <class O, class V, class TAccess>
TPropertyInfo Text(TPropertyKind AKind, QString AName, TAccessor<O, V> AAccess) {
  TAccess Access;
  Access.Get = [Get = std::move(AAccess.Get)](const TPersistent& AObject) {
    return Get(static_cast<const O&>(AObject));
  };
  if (AAccess.Set) {
    Access.Set = [Set = std::move(AAccess.Set)](TPersistent& AObject, const V& AValue) {
      Set(static_cast<O&>(AObject), AValue);
    };
  }
  TPropertyInfo Info;
  Info.Name = std::move(AName);
  Info.Kind = AKind;
  Info.Writable = static_cast<bool>(Access.Set);
  Info.Access = std::move(Access);
  return Info;
}

template <class T>
T* PointerOf(T& AValue) {
  return &AValue;
}
template <class T>
const T* PointerOf(const T& AValue) {
  return &AValue;
}
template <class T>
T* PointerOf(std::unique_ptr<T>& AValue) {
  return AValue.get();
}
template <class T>
T* PointerOf(const std::unique_ptr<T>& AValue) {
  return AValue.get();
}

template <class TNested, class O, class M>
TPropertyInfo Nested(TPropertyKind AKind, QString AName, M O::*AField) {
  TNestedAccess<TNested> Access;
  Access.Get = [AField](const TPersistent& AObject) -> const TNested* {
    return PointerOf(static_cast<const O&>(AObject).*AField);
  };
  Access.Edit = [AField](TPersistent& AObject) -> TNested* {
    return PointerOf(static_cast<O&>(AObject).*AField);
  };
  TPropertyInfo Info;
  Info.Name = std::move(AName);
  Info.Kind = AKind;
  Info.Access = std::move(Access);
  return Info;
}

}  // namespace property_detail

// Declarations for property tables. String and float properties declare the empty string and zero
// as their default (call NoDefault() for one that is always written); the other kinds declare none
// unless Default() names one.

template <class O, class V>
TPropertyInfo IntegerProperty(QString AName, TAccessor<O, V> AAccess) {
  static_assert(std::is_integral_v<V> && sizeof(V) == 4, "32-bit integer expected");
  return property_detail::Ordinal(TPropertyKind::Integer, std::move(AName), std::move(AAccess));
}

template <class O>
TPropertyInfo Int64Property(QString AName, TAccessor<O, qint64> AAccess) {
  return property_detail::Ordinal(TPropertyKind::Int64, std::move(AName), std::move(AAccess));
}

template <class O>
TPropertyInfo BooleanProperty(QString AName, TAccessor<O, bool> AAccess) {
  return property_detail::Ordinal(TPropertyKind::Boolean, std::move(AName), std::move(AAccess),
                                  BooleanNames());
}

template <class O, class V>
TPropertyInfo EnumProperty(QString AName, TAccessor<O, V> AAccess, TEnumNames ANames) {
  static_assert(std::is_enum_v<V> || std::is_integral_v<V>, "enumeration expected");
  return property_detail::Ordinal(TPropertyKind::Enumeration, std::move(AName), std::move(AAccess),
                                  std::move(ANames));
}

// AAccess holds the set as a bit mask: bit n stands for the member of ordinal n.
template <class O, class V>
TPropertyInfo SetProperty(QString AName, TAccessor<O, V> AAccess, TEnumNames AMemberNames) {
  static_assert(std::is_integral_v<V> && std::is_unsigned_v<V> && sizeof(V) <= 4, "bit mask expected");
  return property_detail::Ordinal(TPropertyKind::Set, std::move(AName), std::move(AAccess),
                                  std::move(AMemberNames));
}

template <class O, class V>
TPropertyInfo CharProperty(QString AName, TAccessor<O, V> AAccess) {
  static_assert(std::is_same_v<V, QChar> || std::is_same_v<V, char16_t>, "UTF-16 code unit expected");
  return property_detail::Ordinal(TPropertyKind::Character, std::move(AName), std::move(AAccess));
}

template <class O, class V>
TPropertyInfo FloatProperty(QString AName, TAccessor<O, V> AAccess) {
  static_assert(std::is_same_v<V, float> || std::is_same_v<V, double>, "float or double expected");
  TFloatAccess Access;
  Access.Single = std::is_same_v<V, float>;
  Access.Get = [Get = std::move(AAccess.Get)](const TPersistent& AObject) {
    return static_cast<double>(Get(static_cast<const O&>(AObject)));
  };
  if (AAccess.Set) {
    Access.Set = [Set = std::move(AAccess.Set)](TPersistent& AObject, double AValue) {
      Set(static_cast<O&>(AObject), static_cast<V>(AValue));
    };
  }
  TPropertyInfo Info;
  Info.Name = std::move(AName);
  Info.Kind = TPropertyKind::Float;
  Info.Writable = static_cast<bool>(Access.Set);
  Info.DeclaredDefault = 0;
  Info.Access = std::move(Access);
  return Info;
}

template <class O>
TPropertyInfo StringProperty(QString AName, TAccessor<O, QString> AAccess) {
  TPropertyInfo Info = property_detail::Text<O, QString, TTextAccess>(TPropertyKind::String, std::move(AName),
                                                                      std::move(AAccess));
  Info.DeclaredDefault = 0;
  return Info;
}

template <class O>
TPropertyInfo BinaryProperty(QString AName, TAccessor<O, QByteArray> AAccess) {
  return property_detail::Text<O, QByteArray, TBytesAccess>(TPropertyKind::Binary, std::move(AName),
                                                            std::move(AAccess));
}

// AAccess holds the referenced component's name.
template <class O>
TPropertyInfo ReferenceProperty(QString AName, TAccessor<O, QString> AAccess) {
  return property_detail::Text<O, QString, TTextAccess>(TPropertyKind::Reference, std::move(AName),
                                                        std::move(AAccess));
}

// The nested kinds take the field that holds the object, by value or as a std::unique_ptr.
template <class O, class M>
TPropertyInfo StringListProperty(QString AName, M O::*AField) {
  return property_detail::Nested<QStringList>(TPropertyKind::StringList, std::move(AName), AField);
}

template <class O, class M>
TPropertyInfo CollectionProperty(QString AName, M O::*AField) {
  return property_detail::Nested<TCollection>(TPropertyKind::Collection, std::move(AName), AField);
}

template <class O, class M>
TPropertyInfo ObjectProperty(QString AName, M O::*AField) {
  return property_detail::Nested<TPersistent>(TPropertyKind::Object, std::move(AName), AField);
}

}  // namespace wavenard
