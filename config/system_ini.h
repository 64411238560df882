#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include "config/collection.h"
#include "config/component.h"
#include "config/folders.h"
#include "config/property_table.h"
#include "config/record_file.h"
#include "config/sound_device.h"

namespace wavenard {

class TBoxPresenter;

// The bit of the application-wide flag word that tells the suite's components to serve a screen
// reader.
constexpr qint32 ScreenReaderTagBit = 1;

// The platform's folder identifier of the program-files folder.
constexpr int CSIDL_PROGRAM_FILES = 38;

enum class TAddInfoStorageType { aiNotSet, aiAPE, aiSQLite, aiMySQL, aiFile, aiFileSubdir };

class TEQBandsBand final : public TCollectionItem {
 public:
  qint32 CenterFreq = 0;

  const TPropertyTable& PropertyTable() const override;
};

class TEQBands final : public TCollectionOf<TEQBandsBand> {};

// The plug-in and equaliser part of the system settings.
class TSystemIniBase : public TComponent {
 public:
  bool AllowWinampPlugins = false;
  bool AllowVstPlugins = false;
  QStringList VSTFolder;
  QString VSTSkipSettings;
  qint32 BandsNum = 10;
  TEQBands EQBands;
  float Bandwidth = 2.5F;
  qint32 EQRange = 10;

  static const TPropertyTable& BaseProperties();
  const TPropertyTable& PropertyTable() const override { return BaseProperties(); }

 protected:
  // AProgramFilesFolder ends with the delimiter, or is empty when the platform has no such folder.
  explicit TSystemIniBase(const QString& AProgramFilesFolder);

  const QString FProgramFilesFolder;
};

// The suite's machine-wide settings, shared with its other programs through "system.ini" in the
// settings folder. The program writes the file whole, so every value is carried and written back,
// although it acts only on the microphone (Inputs item 0), LangDir, StreamUserAgent and
// ScreenReaderMode. Main thread only.
class TSystemIni final : public TSystemIniBase {
 public:
  // AFolders gives the settings folder, where "system.ini" lies, and the application folder, where
  // "setup.ini" and the language folders lie. ABoxes shows the failures of Read and Save and must
  // outlive the record. AFolderLookup answers the program-files folder for VSTFolder.
  TSystemIni(TFolders AFolders, TBoxPresenter& ABoxes,
             const TSpecialFolderLookup& AFolderLookup = GetSpecialFolderPath);
  Q_DISABLE_COPY_MOVE(TSystemIni)

  // Restores a missing or empty file from its backup copy, reads it and completes the record to 7
  // outputs and 4 inputs. Never raises for the file: a file failure is kept in ReadSuccessful and
  // ReadErrorText, a text that is not object text is ignored. Sets ScreenReaderTagBit in
  // AApplicationTag when ScreenReaderMode is on; its other bits stay.
  void Read(qint32& AApplicationTag);
  // Writes the whole record and refreshes the backup copy; a failure is shown in a box. The first
  // save after a file that could not be read keeps that file aside as "system.ini.damaged" (or the
  // first free name after it) and leaves an existing backup copy as it was, since it still holds
  // the user's last good settings. The suite's other programs share the file: when one of them
  // changed it since this program last read or wrote it, the record takes the file's values again
  // and keeps of its own only the microphone, when this program changed it.
  void Save();

  bool ReadSuccessful() const { return FReadSuccessful; }
  const QString& ReadErrorText() const { return FReadErrorText; }
  QString FileName() const { return FFile.FileName(); }

  // At most 2; the setter stores any value.
  qint32 Priority() const { return qMin(FPriority, 2); }
  void SetPriority(qint32 AValue) { FPriority = AValue; }
  // The language folder's name. The value "/" is settled once from "setup.ini" in the application
  // folder and then kept. Raises EFileFailure when "setup.ini" exists but cannot be read.
  QString LangDir() const;
  void SetLangDir(const QString& AValue) { FLangDir = AValue; }

  bool Lg = false;
  TOutputDevicesList OutputDevice;
  qint32 MixerFreq = 48000;
  bool ProduceSilence = false;
  bool DisableMFCodecs = true;
  bool DeviceStallCheck = false;
  qint32 InputWasapiBufSize = 20;
  qint32 InputAsioBufSize = 0;
  TInputDevicesList Inputs;
  bool SeparateMicAndMusicDSP = true;
  qint32 MicMusicVol = -15;
  qint32 MicMusicFade = 400;
  qint32 MicMusicFadeOut = 400;
  qint32 MicPreamp = 0;
  bool MicLocalMute = false;
  bool MicSidechain = false;
  double MicSidechainThreshold = -10.0;
  qint32 MicSidechainAttack = 50;
  qint32 MicSidechainRelease = 300;
  qint32 MicSidechainFadeIn = 50;
  qint32 MicSidechainFadeOut = 75;
  bool MicUseBed = false;
  QString MicBedFN;
  bool MicBedWhenNoMusicOnly = true;
  qint32 MicBedLevel = 0;
  qint32 MicBedFadeIn = 400;
  qint32 MicBedFadeOut = 200;
  bool RequireLogin = false;
  bool DisableVisThread = false;
  bool FirstRun = true;
  QString InetStreamProxy;
  QString BroadcastProxy;
  QString Settings;
  bool ScreenReaderMode = false;
  bool ScreenReaderVSTTextUI = false;
  bool DisableScreensaver = true;
  QString StreamUserAgent = QStringLiteral("Quorvane");
  TAddInfoStorageType AdditionalInfoStorage = TAddInfoStorageType::aiSQLite;
  QString MySqlHost;
  QString MySqlUser;
  QString MySqlPass;
  QString MySqlDatabase = QStringLiteral("quorvane");
  bool SQLitePathDedicated = false;
  bool IsWatchdog = false;
  QString MultipleArtistSeparator = QStringLiteral(", ");
  bool SQLiteIgnoreAccents = false;
  bool EnableVideo = true;
  bool DisableTags = false;
  qint32 ValidationMinSilenceAmt = 5;
  bool TagEditKeepModifiedTime = false;
  bool SkipCacheValidation = false;
  bool TagReadHelper = false;
  quint32 AnsiCodePage = 0;
  bool UseAPEv2TagForFlac = false;
  bool ReadCoverArtFromFolder = false;
  qint32 NormalizeType = 0;
  bool NormalizePreventClipping = false;

  const TPropertyTable& PropertyTable() const override;

 private:
  // Settles the device lists after a read, whatever it found.
  void Complete();
  // Takes the values of the file's new content AContent, keeping this program's microphone
  // choice when it differs from what was read or saved.
  void Rebase(const QByteArray& AContent);
  void RememberMicrophone();

  TFolders FFolders;
  TBoxPresenter& FBoxes;
  TRecordFile FFile;
  // The microphone as this program last read or saved it.
  qint32 FSavedMicMethod = 0;
  QString FSavedMicDeviceID;
  qint32 FPriority = 2;
  // Settled by the getter, which the writer calls on a const record.
  mutable QString FLangDir = QStringLiteral("/");
  bool FReadSuccessful = true;
  QString FReadErrorText;
};

}  // namespace wavenard
