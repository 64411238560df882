#pragma once

#include <QString>
#include <QStringList>

#include "config/carried_values.h"
#include "config/component.h"
#include "config/folders.h"
#include "config/player_collections.h"

class QRandomGenerator;

namespace wavenard {

class TBoxPresenter;

// The player settings are declared over three classes, as the suite declares them, so the file
// lists their values base class first. Values this program does not use are carried: held in a
// slot store through the class's table (config/carried_values.h) rather than in a field each.

// Broadcasting: the stream's description and its outputs and encoders.
class TBroadcastSettings : public TComponent {
 public:
  TBroadcastSettings();

  static const TPropertyTable& BroadcastProperties();
  const TPropertyTable& PropertyTable() const override { return BroadcastProperties(); }

  TBroadcastOutputs& BOutputs() { return FBOutputs; }
  const TBroadcastOutputs& BOutputs() const { return FBOutputs; }
  TCustomEncoders& CustomEncoders() { return FCustomEncoders; }
  const TCustomEncoders& CustomEncoders() const { return FCustomEncoders; }

 private:
  static const TCarriedClass& Class();
  TCarriedValues FBroadcastValues;
  TBroadcastOutputs FBOutputs;
  TCustomEncoders FCustomEncoders;
};

// Network streams, playback and voice-track mixing.
class TPlayerSettings : public TBroadcastSettings {
 public:
  TPlayerSettings();

  static const TPropertyTable& PlayerProperties();
  const TPropertyTable& PropertyTable() const override { return PlayerProperties(); }

 private:
  static const TCarriedClass& Class();
  TCarriedValues FPlayerValues;
};

// The suite's player configuration, shared through "player.ini" in the settings folder. This
// program reads it at start-up, uses only the voice-tracks folder and never writes it.
class TPlayerIni final : public TPlayerSettings {
 public:
  // ARandom draws the record's UID; the folders name the file and resolve the voice-tracks
  // folder; ABoxes shows what restoring the file from its backup copy could not do.
  TPlayerIni(TFolders AFolders, TBoxPresenter& ABoxes, QRandomGenerator& ARandom);

  static const TPropertyTable& PlayerIniProperties();
  const TPropertyTable& PropertyTable() const override { return PlayerIniProperties(); }

  QString FileName() const { return FFolders.SettingsFile(QStringLiteral("player.ini")); }

  // Restores "player.ini" from its backup copy when it is missing or empty, then reads it into
  // this record. Never raises for a missing, unreadable or malformed file: a file failure is
  // remembered in ReadSuccessful and ReadErrorText, a text that is not object text is ignored.
  void Read();
  bool ReadSuccessful() const { return FReadSuccessful; }
  const QString& ReadErrorText() const { return FReadErrorText; }

  // The folder VoiceTracksFolder names, below the settings folder when it begins with a single
  // backslash, without a trailing delimiter. It need not exist.
  QString GetVoiceTracksFolder() const { return FFolders.ExpandSettingsPath(FVoiceTracksFolder); }
  // The one folder takes are recorded into, offered from and chosen from: GetVoiceTracksFolder(),
  // or DefaultTakesFolder below the settings folder when that is empty. No trailing delimiter.
  QString TakesFolder() const;
  static constexpr char16_t DefaultTakesFolder[] = u"VoiceTracks";

  const QString& VoiceTracksFolder() const { return FVoiceTracksFolder; }
  void SetVoiceTracksFolder(const QString& AValue) { FVoiceTracksFolder = AValue; }
  qint32 TrackListSelectTimeout() const { return FTrackListSelectTimeout; }
  // Stores 750 for a negative value and at most 30000.
  void SetTrackListSelectTimeout(qint32 AValue);
  qint32 UID() const { return FUID; }
  void SetUID(qint32 AValue) { FUID = AValue; }

  QStringList& AutostartCommands() { return FAutostartCommands; }
  const QStringList& AutostartCommands() const { return FAutostartCommands; }
  QStringList& ArtistSeparator() { return FArtistSeparator; }
  const QStringList& ArtistSeparator() const { return FArtistSeparator; }
  THTTPRequests& HTTPReq() { return FHTTPReq; }
  const THTTPRequests& HTTPReq() const { return FHTTPReq; }
  TDSPItemsC& DSPList() { return FDSPList; }
  const TDSPItemsC& DSPList() const { return FDSPList; }
  TDSPItemsC& MicDSPList() { return FMicDSPList; }
  const TDSPItemsC& MicDSPList() const { return FMicDSPList; }
  TRemoteUsers& RemoteUsers() { return FRemoteUsers; }
  const TRemoteUsers& RemoteUsers() const { return FRemoteUsers; }

 private:
  static const TCarriedClass& Class();

  const TFolders FFolders;
  TBoxPresenter& FBoxes;
  bool FReadSuccessful = true;
  QString FReadErrorText;

  TCarriedValues FIniValues;
  QString FVoiceTracksFolder = QStringLiteral("\\VoiceTracks\\");
  qint32 FTrackListSelectTimeout = 3000;
  qint32 FUID = 0;
  QStringList FAutostartCommands;
  QStringList FArtistSeparator;
  THTTPRequests FHTTPReq;
  TDSPItemsC FDSPList;
  TDSPItemsC FMicDSPList;
  TRemoteUsers FRemoteUsers;
};

}  // namespace wavenard
