#include "config/player_ini.h"

#include <QRandomGenerator>

#include "config/failures.h"
#include "config/file_store.h"
#include "config/record_file.h"

namespace wavenard {

TBroadcastSettings::TBroadcastSettings() : FBroadcastValues(Class().Initial) {}

const TPropertyTable& TBroadcastSettings::BroadcastProperties() {
  return Class().Table;
}

const TCarriedClass& TBroadcastSettings::Class() {
  static const TCarriedClass Declared(
      QStringLiteral("TBroadcastSettings"), &ComponentProperties(),
      TCarriedTable(&TBroadcastSettings::FBroadcastValues)
          .Booleans({"bEnableBroadcast", "SendTrackArtwork", "PlayIntro", "ReconnectImmediatelyFirstTime"})
          .Integers({"InternalServerBufferSizeMs", "StatsCheckInterval"})
          .Texts({"sStreamTitle", "sStreamUrl", "sStreamGenre", "sStreamDescription", "sBroadcastICQ",
                  "sBroadcastAIM", "sBroadcastIRC", "StationLogo", "IntroFile", "EncLame", "EncAacp"})
          .Add(CollectionProperty(QStringLiteral("BOutputs"), &TBroadcastSettings::FBOutputs))
          .Add(CollectionProperty(QStringLiteral("CustomEncoders"), &TBroadcastSettings::FCustomEncoders)));
  return Declared;
}

TPlayerSettings::TPlayerSettings() : FPlayerValues(Class().Initial) {}

const TPropertyTable& TPlayerSettings::PlayerProperties() {
  return Class().Table;
}

const TCarriedClass& TPlayerSettings::Class() {
  static const TCarriedClass Declared(
      QStringLiteral("TPlayerSettings"), &BroadcastProperties(),
      TCarriedTable(&TPlayerSettings::FPlayerValues)
          .Integers({"NetBuffer",
                     "NetReadTimeout",
                     "StreamRestartAttempts",
                     "StreamRestartTimeoutMS",
                     "StreamStallTimeout",
                     "PreloadTime",
                     "MusicAttForVT",
                     "MusicAttForVTFade",
                     "MusicAttForVTFadeIn",
                     "DefaultIntro",
                     "DefaultOutro",
                     "MusicAttForAutoIntro",
                     "MusicAttForAutoIntoFade",
                     "AutoIntroFadeIn",
                     "AutoIntroFadeOut",
                     "VTMargin",
                     "VTBedLevel",
                     "VTBedFadeIn",
                     "VTBedFadeOut",
                     "ReplayGainType",
                     "ReplayGainPreampRG",
                     "ReplayGainPreampNoRG",
                     "VOMinTrackRating",
                     "CountStartTimeFor"})
          .Integer("ArtworkSize", 350, 350)
          .Booleans({"DisableTitleSync", "Preload", "PreloadNetworkOnly", "LimitMixToNextTrackIntro",
                     "VTIgnoreOutro", "VOExFileTypes", "PrescanMP3", "ArtworkExport", "ArtworkExportNext",
                     "ArtworkExportRecent", "SmoothSeek", "VolumeSliderMainOnly",
                     "RestartJingleOnButtonPress"})
          .Texts({"VTBed", "StrStreamHideURL"})
          .Floats({"Threshold", "ThresholdEnd"})
          .Enumeration("CrossfadeCurve", {QStringLiteral("csLine"), QStringLiteral("csParabolaDown"),
                                          QStringLiteral("csParabolaUp")}));
  return Declared;
}

TPlayerIni::TPlayerIni(TFolders AFolders, TBoxPresenter& ABoxes, QRandomGenerator& ARandom)
    : FFolders(std::move(AFolders)),
      FBoxes(ABoxes),
      FIniValues(Class().Initial),
      FUID(static_cast<qint32>(ARandom.bounded(100000))),
      FArtistSeparator{QStringLiteral("ft"),    QStringLiteral("ft."), QStringLiteral("feat"),
                       QStringLiteral("feat."), QStringLiteral("vs"),  QStringLiteral("vs."),
                       QStringLiteral("&"),     QStringLiteral("and"), QStringLiteral("with"),
                       QStringLiteral(",")} {
  TDSPItemC& Equalizer = FDSPList.Add();
  Equalizer.T = TDSPType::dspIntegrated;
  Equalizer.IntDSPKind = TIntDSPKind::dspEqualizer;
  Equalizer.DispName = QStringLiteral("Equalizer");
  TDSPItemC& Compressor = FDSPList.Add();
  Compressor.T = TDSPType::dspIntegrated;
  Compressor.IntDSPKind = TIntDSPKind::dspCompressor;
  Compressor.DispName = QStringLiteral("Compressor");
}

const TPropertyTable& TPlayerIni::PlayerIniProperties() {
  return Class().Table;
}

const TCarriedClass& TPlayerIni::Class() {
  static const TCarriedClass Declared(
      QStringLiteral("TPlayerIni"), &PlayerProperties(),
      TCarriedTable(&TPlayerIni::FIniValues)
          .Integers({"PauseFadeOut", "ResampleQuality", "StartupDelay", "ReportAPITimeout", "SearchDelay",
                     "SearchMaxResults", "RelayMaxWaitSong", "RelayPlaylistFadeout", "RelayPlaylistFadeIn",
                     "RelayFadeIn", "RelayFadeOut", "RelayVolumeOnOverlayEventOverride",
                     "RelaySilenceDuration", "RelayPlaylistVolume"})
          .Add(IntegerProperty(
              QStringLiteral("TrackListSelectTimeout"),
              Methods(&TPlayerIni::TrackListSelectTimeout, &TPlayerIni::SetTrackListSelectTimeout)))
          .Integers({"DoNotRepeatArtistTime", "DoNotRepeatTrackTime", "DoNotRepeatAlbumTime",
                     "DoNotRepeatTrackTitleTime", "SwDoNotRepeatArtistTime", "SwDoNotRepeatTrackTime",
                     "BroadcastSource", "BroadcastTitleUpdateType", "BroadcastTitleUpdatePeriod",
                     "iExportFormat", "ExportFormat", "ExportEncoding", "iVideoMonitorNum"})
          .Add(IntegerProperty(QStringLiteral("UID"), Methods(&TPlayerIni::UID, &TPlayerIni::SetUID)))
          .Integers({"iFTPPort",
                     "FTPUseTLS",
                     "SASampleRate",
                     "SASplitInterval",
                     "SASource",
                     "HttpEncoding",
                     "GenerationTimeout",
                     "ProfileAutosave",
                     "LPFCutOffFreq",
                     "HPFCutOffFreq",
                     "DTMFSource",
                     "DTMFPeriod",
                     "DTMFPeriodAfter",
                     "DTMFChannelMode",
                     "RemotePort",
                     "EmailPort",
                     "VOFadeIn",
                     "VOMix",
                     "VOFadeOut",
                     "VOExcludeShort",
                     "VOExcludeLong",
                     "MaxHookDuration",
                     "TeaserMaxFindTrackAttempts",
                     "SweeperDelta",
                     "SweeperMinTime",
                     "WeatherDataSource",
                     "WeatherValidPeriod"})
          .Floats({"MicPrebuffer", "RelaySilenceThreshold", "DTMFThreshold", "DTMFDelay"})
          .Booleans({"AskOnExit", "StoreScheduledTracks", "StartMinimized", "EventDirFromFilename",
                     "DoNotActionWhenStoppedLegacy", "DeleteEventShowName", "ProcessJingles",
                     "ProcessOverlayEvents", "NotifyFilterEncoderErrors", "VideoLog",
                     "AdditionalZoneOnTaskbar", "AdditionalZoneAlwaysOnTop"})
          .Boolean("UseEdgeBrowser", true, true)
          .Booleans({"BroadcastOnConfirm",
                     "BroadcastOffConfirm",
                     "KeepBroadcastStateOnRestart",
                     "MarkPlayedFiles",
                     "PlaybackDebugLog",
                     "SweeperDebugLog",
                     "UseExplorerTree",
                     "AutostartCommandsEnabled",
                     "RelayWaitSongToFinish",
                     "RelayNextSongOnEnd",
                     "RelayStreamCheckSilence",
                     "DragNDropSort",
                     "GetFileDeleteToRecycleBin",
                     "MutePlaybackOnPrelisten",
                     "MuteMonitorOnPrelisten",
                     "MutePlaybackOnPrelistenSecondary",
                     "OpenPlaylistChangeTabFilename",
                     "DoNotSendEmptyTitleWhenStopped",
                     "SmoothLevelGraph",
                     "ConfirmPlaylistDeleteAll",
                     "SearchAlwaysVisible",
                     "ShowNowplayingInTitle",
                     "DoNotRepeatArtist",
                     "DoNotRepeatTrack",
                     "DoNotRepeatAlbum",
                     "DoNotRepeatTrackTitle",
                     "SeparateArtists",
                     "TrackListCheckLastPlayed",
                     "TrackListSelectTrackOnTrackInfo",
                     "SwDoNotRepeatArtist",
                     "SwDoNotRepeatTrack",
                     "ShowOnAir",
                     "StartPlaybackOnConnect",
                     "MakeReport",
                     "bEnableExport",
                     "IncludeNextTrack",
                     "ShowTrackNumberInReport",
                     "StoreTrackInfoInReport",
                     "NetworkStreamTitlesInReport",
                     "bShowVideoWindow",
                     "bVideoGoFullscreen",
                     "bVideoWindowAlwaysTop",
                     "HideVideoWindowOnAudioTrack",
                     "VideoShowImageNoVideo",
                     "bFTPOn",
                     "bFTPPasv",
                     "StreamArchiveOn",
                     "SAKeepState",
                     "StreamArchiveMicOnly",
                     "StreamArchiveNoDSP",
                     "SASplitOn",
                     "SACreateCue",
                     "SACueFileUseCastTitle",
                     "HTTPReqForRelay",
                     "bHTTPOn",
                     "UseLPF",
                     "UseHPF",
                     "DTMFSkipExitFT",
                     "RemoteEnable",
                     "RemoteLocalhostOnly",
                     "EmailUseTLS",
                     "AutoIntroSkipWhenCustomCrossfade",
                     "TeaserLog"})
          .Add(StringProperty(QStringLiteral("VoiceTracksFolder"),
                              Methods(&TPlayerIni::VoiceTracksFolder, &TPlayerIni::SetVoiceTracksFolder)))
          .Texts({"TimeZoneS",
                  "UserTrayText",
                  "RelayTitleFormat",
                  "BroadcastTitleFormat",
                  "sReportFolder",
                  "XMLExportFileName",
                  "ArtworkExportFileName",
                  "ArtworkExportFileNameNext",
                  "ArtworkExportFileNameRecent",
                  "VideoShowImageNoVideoPath",
                  "sFTPServer",
                  "sFTPUser",
                  "sFTPPassword",
                  "sFTPDir",
                  "SAEncoderCmdLine",
                  "SAPath",
                  "HTTPRequestUserAgent",
                  "sHTTPURL",
                  "DTMFUrl",
                  "DTMFSkipExitFTSelected",
                  "RemotePassword",
                  "EmailHost",
                  "EmailUser",
                  "EmailPassword",
                  "EmailSubject",
                  "EmailFrom",
                  "EmailServiceKey",
                  "StrTimeAnnouncement",
                  "StrPlaylist",
                  "StrTrackList"})
          .Text("StrNowPlayingEmpty", QString(), true)
          .Texts({"StrTeaser", "OpenWeatherMapApiKey", "AccuWeatherApiKey"})
          .Add(StringListProperty(QStringLiteral("AutostartCommands"), &TPlayerIni::FAutostartCommands))
          .Add(StringListProperty(QStringLiteral("ArtistSeparator"), &TPlayerIni::FArtistSeparator))
          .Enumeration("NowPlayingVis",
                       {QStringLiteral("visNone"), QStringLiteral("visWave"), QStringLiteral("visSpectrum")})
          .Enumeration("VisSource", {QStringLiteral("vsAudioMix"), QStringLiteral("vsInput1"),
                                     QStringLiteral("vsInput2"), QStringLiteral("vsInput3")})
          // The program never interprets the e-mail service; these two names are its own.
          .Enumeration("EmailService", {QStringLiteral("esSMTP"), QStringLiteral("esWebAPI")})
          .Add(CollectionProperty(QStringLiteral("HTTPReq"), &TPlayerIni::FHTTPReq))
          .Add(CollectionProperty(QStringLiteral("DSPList"), &TPlayerIni::FDSPList))
          .Add(CollectionProperty(QStringLiteral("MicDSPList"), &TPlayerIni::FMicDSPList))
          .Add(CollectionProperty(QStringLiteral("RemoteUsers"), &TPlayerIni::FRemoteUsers)));
  return Declared;
}

void TPlayerIni::SetTrackListSelectTimeout(qint32 AValue) {
  if (AValue < 0) {
    FTrackListSelectTimeout = 750;
  } else if (AValue > 30000) {
    FTrackListSelectTimeout = 30000;
  } else {
    FTrackListSelectTimeout = AValue;
  }
}

void TPlayerIni::Read() {
  FReadSuccessful = true;
  const QString Name = FileName();
  RestoreFromBackup(Name, false, FBoxes);
  TRecordFile File(Name);
  if (!File.Exists()) {
    return;
  }
  try {
    File.Read(*this);
  } catch (const ESyntaxFailure&) {
    // Not object text: the suite's own reader treats it as no file at all.
  } catch (const EFileFailure& Failure) {
    FReadSuccessful = false;
    FReadErrorText = Failure.Message();
  }
}

QString TPlayerIni::TakesFolder() const {
  const QString Folder = GetVoiceTracksFolder();
  if (!Folder.isEmpty()) {
    return Folder;
  }
  return FFolders.ExpandSettingsPath(QStringLiteral("\\") + QString::fromUtf16(DefaultTakesFolder));
}

}  // namespace wavenard
