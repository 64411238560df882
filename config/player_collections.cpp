#include "config/player_collections.h"

namespace wavenard {

TBroadcastOutput::TBroadcastOutput() : FValues(Class().Initial) {}

const TPropertyTable& TBroadcastOutput::PropertyTable() const {
  return Class().Table;
}

const TCarriedClass& TBroadcastOutput::Class() {
  static const TCarriedClass Declared(
      QStringLiteral("TBroadcastOutput"), nullptr,
      TCarriedTable(&TBroadcastOutput::FValues)
          .Booleans({"bEnabled", "bPublic"})
          .Text("sServer")
          .Boolean("bTLS")
          .Texts({"sPassword", "sAdminPassword"})
          .Integers({"iFormat", "iBitrate", "iEncoding", "iSampleRate", "iChannels", "ReconnectMS"})
          .Boolean("OverrideInfo")
          .Texts({"sStreamTitle", "sStreamUrl", "sStreamGenre", "sStreamDescription", "sBroadcastICQ",
                  "sBroadcastAIM", "sBroadcastIRC", "sDisplayName"})
          .Booleans({"bDoNotSendMetadata", "bUseCustomTitleFormat"})
          .Texts({"sCustomTitleFormat", "sRelayAddress"})
          .Integer("iRelayType")
          .Boolean("bUseRelay")
          .Text("sRelayMount")
          .Boolean("bRelaySSL")
          .Text("EncoderID"));
  return Declared;
}

TCustomEncoder::TCustomEncoder() : FValues(Class().Initial) {}

const TPropertyTable& TCustomEncoder::PropertyTable() const {
  return Class().Table;
}

const TCarriedClass& TCustomEncoder::Class() {
  static const TCarriedClass Declared(
      QStringLiteral("TCustomEncoder"), nullptr,
      TCarriedTable(&TCustomEncoder::FValues).Texts({"Name", "CommandLine", "ContentType"}));
  return Declared;
}

THTTPRequest::THTTPRequest() : FValues(Class().Initial) {}

const TPropertyTable& THTTPRequest::PropertyTable() const {
  return Class().Table;
}

const TCarriedClass& THTTPRequest::Class() {
  // A new request is enabled, so an entry that leaves Enabled out (at its default) reads back
  // enabled.
  static const TCarriedClass Declared(
      QStringLiteral("THTTPRequest"), nullptr,
      TCarriedTable(&THTTPRequest::FValues)
          .Text("Name")
          .Boolean("Enabled", true, true)
          .Texts({"URL", "RequestType"})
          .Booleans({"NotifyPlayback", "NotifyServer", "NotifySilence", "NotifyErrors"}));
  return Declared;
}

TDSPItemC::TDSPItemC() : FValues(Class().Initial) {}

const TPropertyTable& TDSPItemC::PropertyTable() const {
  return Class().Table;
}

const TCarriedClass& TDSPItemC::Class() {
  static const TCarriedClass Declared(
      QStringLiteral("TDSPItemC"), nullptr,
      TCarriedTable(&TDSPItemC::FValues)
          .Add(EnumProperty(QStringLiteral("T"), Field(&TDSPItemC::T),
                            {QStringLiteral("dspPlugin"), QStringLiteral("dspIntegrated")}))
          .Add(StringListProperty(QStringLiteral("Params"), &TDSPItemC::Params))
          .Add(StringProperty(QStringLiteral("DispName"), Field(&TDSPItemC::DispName)))
          .Text("PluginPath")
          .Enumeration("PluginType",
                       {QStringLiteral("ptDSP"), QStringLiteral("ptGEN"), QStringLiteral("ptVST")})
          .Enumeration("State", {QStringLiteral("psOff"), QStringLiteral("psActive")})
          .Add(EnumProperty(
              QStringLiteral("IntDSPKind"), Field(&TDSPItemC::IntDSPKind),
              {QStringLiteral("dspEqualizer"), QStringLiteral("dspCompressor"), QStringLiteral("dspGain")}))
          .Text("PresetName"));
  return Declared;
}

TRemoteUser::TRemoteUser() : FValues(Class().Initial) {}

const TPropertyTable& TRemoteUser::PropertyTable() const {
  return Class().Table;
}

const TCarriedClass& TRemoteUser::Class() {
  static const TCarriedClass Declared(
      QStringLiteral("TRemoteUser"), nullptr,
      TCarriedTable(&TRemoteUser::FValues)
          .Texts({"Username", "Password"})
          .Set("Permissions",
               {QStringLiteral("upAdmin"), QStringLiteral("upPlaylist"), QStringLiteral("upRemoteAds")}));
  return Declared;
}

}  // namespace wavenard
