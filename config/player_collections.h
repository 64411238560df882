#pragma once

#include <QString>
#include <QStringList>

#include "config/carried_values.h"
#include "config/collection.h"

namespace wavenard {

// The entries of the player settings' collections. The program uses none of their values except
// the two DSP entries a new record starts with; everything else is carried for the suite.

// One output of the broadcast encoder.
class TBroadcastOutput final : public TCollectionItem {
 public:
  TBroadcastOutput();
  const TPropertyTable& PropertyTable() const override;

 private:
  static const TCarriedClass& Class();
  TCarriedValues FValues;
};

class TBroadcastOutputs final : public TCollectionOf<TBroadcastOutput> {};

// An external encoder program.
class TCustomEncoder final : public TCollectionItem {
 public:
  TCustomEncoder();
  const TPropertyTable& PropertyTable() const override;

 private:
  static const TCarriedClass& Class();
  TCarriedValues FValues;
};

class TCustomEncoders final : public TCollectionOf<TCustomEncoder> {};

// A request the player sends to a web address on playback events.
class THTTPRequest final : public TCollectionItem {
 public:
  THTTPRequest();
  const TPropertyTable& PropertyTable() const override;

 private:
  static const TCarriedClass& Class();
  TCarriedValues FValues;
};

class THTTPRequests final : public TCollectionOf<THTTPRequest> {};

enum class TDSPType : qint32 { dspPlugin, dspIntegrated };
enum class TIntDSPKind : qint32 { dspEqualizer, dspCompressor, dspGain };

// One stage of a DSP chain: a plug-in or one of the player's own processors.
class TDSPItemC final : public TCollectionItem {
 public:
  TDSPItemC();
  const TPropertyTable& PropertyTable() const override;

  TDSPType T = TDSPType::dspPlugin;
  QStringList Params;
  QString DispName;
  TIntDSPKind IntDSPKind = TIntDSPKind::dspEqualizer;

 private:
  static const TCarriedClass& Class();
  TCarriedValues FValues;
};

class TDSPItemsC final : public TCollectionOf<TDSPItemC> {};

// An account of the player's remote control.
class TRemoteUser final : public TCollectionItem {
 public:
  TRemoteUser();
  const TPropertyTable& PropertyTable() const override;

 private:
  static const TCarriedClass& Class();
  TCarriedValues FValues;
};

class TRemoteUsers final : public TCollectionOf<TRemoteUser> {};

}  // namespace wavenard
