#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>

#include "config/collection.h"
#include "config/component.h"
#include "config/property_table.h"

namespace wavenard::test {

enum class TDevType { odMixer, odRegular, odNotUsed };

inline TEnumNames DevTypeNames() {
  return {QStringLiteral("odMixer"), QStringLiteral("odRegular"), QStringLiteral("odNotUsed")};
}

// A sound device entry and its capture descendant, declared over two classes.
class TDevice : public TCollectionItem {
 public:
  TDevType DevType = TDevType::odMixer;
  qint32 Method = 0;
  QString DeviceID;
  qint32 Chan1 = 0;
  bool EventDriven = false;

  static const TPropertyTable& DeviceProperties() {
    static const TPropertyTable Table(
        QStringLiteral("TDevice"), nullptr,
        {
            EnumProperty(QStringLiteral("DevType"), Field(&TDevice::DevType), DevTypeNames()),
            IntegerProperty(QStringLiteral("Method"), Field(&TDevice::Method)),
            StringProperty(QStringLiteral("DeviceID"), Field(&TDevice::DeviceID)),
            IntegerProperty(QStringLiteral("Chan1"), Field(&TDevice::Chan1)).Default(0),
            BooleanProperty(QStringLiteral("EventDriven"), Field(&TDevice::EventDriven)).Default(0),
        });
    return Table;
  }
  const TPropertyTable& PropertyTable() const override { return DeviceProperties(); }
};

class TInput final : public TDevice {
 public:
  TInput() { Method = -1; }
  qint32 MixerSrc = 0;
  bool Stereo = false;
  bool KeepAlive = false;

  const TPropertyTable& PropertyTable() const override {
    static const TPropertyTable Table(
        QStringLiteral("TInput"), &DeviceProperties(),
        {
            IntegerProperty(QStringLiteral("MixerSrc"), Field(&TInput::MixerSrc)),
            BooleanProperty(QStringLiteral("Stereo"), Field(&TInput::Stereo)),
            BooleanProperty(QStringLiteral("KeepAlive"), Field(&TInput::KeepAlive)),
        });
    return Table;
  }
};

class TInputs final : public TCollectionOf<TInput> {};

// A system-settings-like record with a string list, a collection and values the constructor sets.
class TSystemRecord final : public TComponent {
 public:
  TSystemRecord() {
    Inputs->Add().Method = -2;
    Inputs->Add().Stereo = true;
  }

  std::unique_ptr<QStringList> VSTFolder = std::make_unique<QStringList>();
  std::unique_ptr<TInputs> Inputs = std::make_unique<TInputs>();
  float Bandwidth = 2.5F;
  double Threshold = -10;
  QString UserAgent = QStringLiteral("Quorvane");
  qint32 ArtworkSize = 350;

  const TPropertyTable& PropertyTable() const override {
    static const TPropertyTable Table(
        QStringLiteral("TSystemIni"), &ComponentProperties(),
        {
            StringListProperty(QStringLiteral("VSTFolder"), &TSystemRecord::VSTFolder),
            CollectionProperty(QStringLiteral("Inputs"), &TSystemRecord::Inputs),
            FloatProperty(QStringLiteral("Bandwidth"), Field(&TSystemRecord::Bandwidth)),
            FloatProperty(QStringLiteral("Threshold"), Field(&TSystemRecord::Threshold)),
            StringProperty(QStringLiteral("UserAgent"), Field(&TSystemRecord::UserAgent)),
            IntegerProperty(QStringLiteral("ArtworkSize"), Field(&TSystemRecord::ArtworkSize)).Default(350),
        });
    return Table;
  }
};

inline TEnumNames PermissionNames() {
  return {QStringLiteral("upAdmin"), QStringLiteral("upPlaylist"), QStringLiteral("upRemoteAds")};
}

// A collection item with a string list and a set of its own.
class TUser final : public TCollectionItem {
 public:
  QString Username;
  quint32 Permissions = 0;
  QStringList Params;

  const TPropertyTable& PropertyTable() const override {
    static const TPropertyTable Table(
        QStringLiteral("TUser"), nullptr,
        {
            StringProperty(QStringLiteral("Username"), Field(&TUser::Username)),
            SetProperty(QStringLiteral("Permissions"), Field(&TUser::Permissions), PermissionNames()),
            StringListProperty(QStringLiteral("Params"), &TUser::Params),
        });
    return Table;
  }
};

class TUsers final : public TCollectionOf<TUser> {};

// A persisted object that is not a component, nested in another one.
class TInner final : public TPersistent {
 public:
  QString Name;
  QStringList Lines;

  const TPropertyTable& PropertyTable() const override {
    static const TPropertyTable Table(QStringLiteral("TInner"), nullptr,
                                      {
                                          StringProperty(QStringLiteral("Name"), Field(&TInner::Name)),
                                          StringListProperty(QStringLiteral("Lines"), &TInner::Lines),
                                      });
    return Table;
  }
};

class TOuter final : public TPersistent {
 public:
  qint32 Size = 0;
  TInner Q;
  std::unique_ptr<TInner> Missing;
  TUsers Users;

  const TPropertyTable& PropertyTable() const override {
    static const TPropertyTable Table(
        QStringLiteral("TOuter"), nullptr,
        {
            IntegerProperty(QStringLiteral("Size"), Field(&TOuter::Size)).Default(0),
            ObjectProperty(QStringLiteral("Q"), &TOuter::Q),
            ObjectProperty(QStringLiteral("Missing"), &TOuter::Missing),
            CollectionProperty(QStringLiteral("Users"), &TOuter::Users),
        });
    return Table;
  }
};

// The base of the record with every kind.
class TKindsBase : public TComponent {
 public:
  qint32 First = 0;
  qint32 Redeclared = 0;

  static const TPropertyTable& BaseProperties() {
    static const TPropertyTable Table(
        QStringLiteral("TKindsBase"), &ComponentProperties(),
        {
            IntegerProperty(QStringLiteral("First"), Field(&TKindsBase::First)),
            IntegerProperty(QStringLiteral("Redeclared"), Field(&TKindsBase::Redeclared)),
        });
    return Table;
  }
  const TPropertyTable& PropertyTable() const override { return BaseProperties(); }
};

// A record that holds a property of every kind, with values different from its defaults.
class TKindsRecord final : public TKindsBase {
 public:
  TKindsRecord() { Users.Add().Username = QStringLiteral("first"); }

  qint32 Integer = 0;
  quint32 Unsigned = 0;
  qint64 Big = 0;
  bool Flag = false;
  bool DefaultTrue = true;
  TDevType Kind = TDevType::odMixer;
  quint32 Permissions = 0;
  QChar Letter = u'A';
  float Single = 0;
  double Double = 0;
  QString Text;
  QString Always;
  QByteArray Data;
  QString Link;
  QStringList Lines;
  TUsers Users;
  TOuter P;
  qint32 Hidden = 0;
  qint32 Computed = 0;

  qint32 ReadOnlyValue() const { return Computed; }

  const TPropertyTable& PropertyTable() const override {
    static const TPropertyTable Table(
        QStringLiteral("TKindsRecord"), &BaseProperties(),
        {
            IntegerProperty(QStringLiteral("Integer"), Field(&TKindsRecord::Integer)),
            IntegerProperty(QStringLiteral("Unsigned"), Field(&TKindsRecord::Unsigned)),
            Int64Property(QStringLiteral("Big"), Field(&TKindsRecord::Big)).Default(-1),
            BooleanProperty(QStringLiteral("Flag"), Field(&TKindsRecord::Flag)),
            BooleanProperty(QStringLiteral("DefaultTrue"), Field(&TKindsRecord::DefaultTrue)).Default(1),
            EnumProperty(QStringLiteral("Kind"), Field(&TKindsRecord::Kind), DevTypeNames()),
            SetProperty(QStringLiteral("Permissions"), Field(&TKindsRecord::Permissions), PermissionNames()),
            CharProperty(QStringLiteral("Letter"), Field(&TKindsRecord::Letter)).Default(u'A'),
            FloatProperty(QStringLiteral("Single"), Field(&TKindsRecord::Single)),
            FloatProperty(QStringLiteral("Double"), Field(&TKindsRecord::Double)),
            StringProperty(QStringLiteral("Text"), Field(&TKindsRecord::Text)),
            StringProperty(QStringLiteral("Always"), Field(&TKindsRecord::Always)).NoDefault(),
            BinaryProperty(QStringLiteral("Data"), Field(&TKindsRecord::Data)),
            ReferenceProperty(QStringLiteral("Link"), Field(&TKindsRecord::Link)),
            StringListProperty(QStringLiteral("Lines"), &TKindsRecord::Lines),
            CollectionProperty(QStringLiteral("Users"), &TKindsRecord::Users),
            ObjectProperty(QStringLiteral("P"), &TKindsRecord::P),
            IntegerProperty(QStringLiteral("Hidden"), Field(&TKindsRecord::Hidden)).NotStored(),
            IntegerProperty(QStringLiteral("Computed"), Getter(&TKindsRecord::ReadOnlyValue)),
            // Redeclared: keeps its place after First, now with a default.
            IntegerProperty(QStringLiteral("Redeclared"), Field(&TKindsRecord::Redeclared)).Default(7),
        });
    return Table;
  }
};

}  // namespace wavenard::test
