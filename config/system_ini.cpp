#include "config/system_ini.h"

#include <QDir>
#include <QFileInfo>
#include <utility>

#include "config/failures.h"
#include "config/file_store.h"
#include "config/ini_file.h"
#include "config/record_copy.h"
#include "support/message_box.h"

namespace wavenard {

namespace {

const TEnumNames& AddInfoStorageTypeNames() {
  static const TEnumNames Names{QStringLiteral("aiNotSet"), QStringLiteral("aiAPE"),
                                QStringLiteral("aiSQLite"), QStringLiteral("aiMySQL"),
                                QStringLiteral("aiFile"),   QStringLiteral("aiFileSubdir")};
  return Names;
}

constexpr int MinOutputDevices = 7;
constexpr int MinInputDevices = 4;

// The suite keeps a backup copy of its shared files. This one holds the database account: in the
// user's own settings folder a new file is private to the user, and so are its backup copies, which
// take its mode. In a folder the users of the installation share, the suite's programs that the
// others run must read it: a new file gets the platform's default mode, and an existing one keeps
// its own.
TRecordFile::TOptions FileOptions(const TFolders& AFolders) {
  TRecordFile::TOptions Options;
  Options.KeepsBackup = true;
  if (AFolders.UsersOwnSettings()) {
    Options.NewFilePermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
  }
  return Options;
}

TOutputDevice& AddOutput(TOutputDevicesList& AList, TOutputDevType ADevType, qint32 AMethod,
                         const QString& ADeviceID, qint32 ABufSize) {
  TOutputDevice& Device = AList.Add();
  Device.DevType = ADevType;
  Device.Method = AMethod;
  Device.DeviceID = ADeviceID;
  Device.BufSize = ABufSize;
  return Device;
}

TInputDevice& AddInput(TInputDevicesList& AList, qint32 AMethod, bool AStereo, bool AKeepAlive) {
  TInputDevice& Device = AList.Add();
  Device.Method = AMethod;
  Device.Stereo = AStereo;
  Device.KeepAlive = AKeepAlive;
  return Device;
}

}  // namespace

const TPropertyTable& TEQBandsBand::PropertyTable() const {
  static const TPropertyTable Table(
      QStringLiteral("TEQBandsBand"), nullptr,
      {
          IntegerProperty(QStringLiteral("CenterFreq"), Field(&TEQBandsBand::CenterFreq)),
      });
  return Table;
}

TSystemIniBase::TSystemIniBase(const QString& AProgramFilesFolder)
    : FProgramFilesFolder(AProgramFilesFolder) {
  if (!AProgramFilesFolder.isEmpty()) {
    VSTFolder.append(AProgramFilesFolder + QStringLiteral("Steinberg") + QDir::separator() +
                     QStringLiteral("VstPlugins") + QDir::separator());
  }
  for (const qint32 Frequency : {31, 62, 125, 250, 500, 1000, 2000, 4000, 8000, 16000, 18000, 20000}) {
    EQBands.Add().CenterFreq = Frequency;
  }
}

const TPropertyTable& TSystemIniBase::BaseProperties() {
  using B = TSystemIniBase;
  static const TPropertyTable Table(
      QStringLiteral("TSystemIniBase"), &ComponentProperties(),
      {
          BooleanProperty(QStringLiteral("AllowWinampPlugins"), Field(&B::AllowWinampPlugins)),
          BooleanProperty(QStringLiteral("AllowVstPlugins"), Field(&B::AllowVstPlugins)),
          StringListProperty(QStringLiteral("VSTFolder"), &B::VSTFolder),
          StringProperty(QStringLiteral("VSTSkipSettings"), Field(&B::VSTSkipSettings)),
          IntegerProperty(QStringLiteral("BandsNum"), Field(&B::BandsNum)),
          CollectionProperty(QStringLiteral("EQBands"), &B::EQBands),
          FloatProperty(QStringLiteral("Bandwidth"), Field(&B::Bandwidth)),
          IntegerProperty(QStringLiteral("EQRange"), Field(&B::EQRange)),
      });
  return Table;
}

TSystemIni::TSystemIni(TFolders AFolders, TBoxPresenter& ABoxes, const TSpecialFolderLookup& AFolderLookup)
    : TSystemIniBase(AFolderLookup ? AFolderLookup(CSIDL_PROGRAM_FILES) : QString()),
      FFolders(std::move(AFolders)),
      FBoxes(ABoxes),
      FFile(FFolders.SettingsFile(QStringLiteral("system.ini")), FileOptions(FFolders)) {
  AddOutput(OutputDevice, TOutputDevType::odMixer, 1, TSoundDevice::DefaultDeviceID, 75).SampleFreq =
      MixerFreq;
  AddOutput(OutputDevice, TOutputDevType::odMixer, -1, QString(), 500);
  AddOutput(OutputDevice, TOutputDevType::odRegular, 1, TSoundDevice::DefaultDeviceID, 75);
  AddOutput(OutputDevice, TOutputDevType::odNotUsed, 1, TSoundDevice::DecodeDeviceID, 75);
  AddOutput(OutputDevice, TOutputDevType::odNotUsed, 1, TSoundDevice::DecodeDeviceID, 75);

  AddInput(Inputs, -2, false, true);
  for (int I = 1; I < MinInputDevices; ++I) {
    AddInput(Inputs, -1, true, false);
  }
}

QString TSystemIni::LangDir() const {
  if (FLangDir == QStringLiteral("/")) {
    const QString Fallback = QStringLiteral("En");
    FLangDir = Fallback;
    const QString Language = TIniFile::Load(FFolders.ApplicationFile(QStringLiteral("setup.ini")))
                                 .ReadString(QStringLiteral("Setup"), QStringLiteral("Language"), Fallback);
    if (QFileInfo(FFolders.LanguageFolder(Language)).isDir()) {
      FLangDir = Language;
    }
  }
  return FLangDir;
}

void TSystemIni::Read(qint32& AApplicationTag) {
  RestoreFromBackup(FFile.FileName(), false, FBoxes);
  FReadSuccessful = true;
  if (FFile.Exists()) {
    try {
      FFile.Read(*this);
    } catch (const EFileFailure& E) {
      FReadSuccessful = false;
      FReadErrorText = E.Message();
    } catch (const ESyntaxFailure&) {
      // Treated as no file: the record keeps its values, and the first save keeps the text aside.
    }
  }
  Complete();
  if (ScreenReaderMode) {
    AApplicationTag |= ScreenReaderTagBit;
  }
  RememberMicrophone();
}

void TSystemIni::Complete() {
  // Appended outputs decode without output, unlike the constructor's unused ones.
  while (OutputDevice.Count() < MinOutputDevices) {
    AddOutput(OutputDevice, TOutputDevType::odRegular, 1, TSoundDevice::DecodeDeviceID, 75);
  }
  while (Inputs.Count() < MinInputDevices) {
    Inputs.Add();
  }
}

void TSystemIni::RememberMicrophone() {
  if (Inputs.Count() > 0) {
    FSavedMicMethod = Inputs.Items(0).Method;
    FSavedMicDeviceID = Inputs.Items(0).DeviceID;
  }
}

void TSystemIni::Rebase(const QByteArray& AContent) {
  TSystemIni Current(FFolders, FBoxes, [this](int) { return FProgramFilesFolder; });
  try {
    FFile.Apply(AContent, Current);
  } catch (const ESettingsFailure&) {
    // What the other program left cannot be read: it is kept aside, and this record is saved.
    return;
  }
  Current.Complete();
  if (Inputs.Count() > 0) {
    const TInputDevice& Microphone = Inputs.Items(0);
    if (Microphone.Method != FSavedMicMethod || Microphone.DeviceID != FSavedMicDeviceID) {
      Current.Inputs.Items(0).Method = Microphone.Method;
      Current.Inputs.Items(0).DeviceID = Microphone.DeviceID;
    }
  }
  AssignStoredValues(Current, *this);
}

void TSystemIni::Save() {
  try {
    if (const std::optional<QByteArray> Changed = FFile.ChangedContent()) {
      Rebase(*Changed);
    }
    FFile.Write(*this, FBoxes);
    RememberMicrophone();
  } catch (const ESettingsFailure& E) {
    FBoxes.MyMessageBox(QStringLiteral("Error saving file (system.ini): ") + E.Message() + QLatin1Char('.'),
                        QStringLiteral("Error"), MB_ICONERROR | MB_OK);
  }
}

const TPropertyTable& TSystemIni::PropertyTable() const {
  using S = TSystemIni;
  static const TPropertyTable Table(
      QStringLiteral("TSystemIni"), &BaseProperties(),
      {
          IntegerProperty(QStringLiteral("Priority"), Methods(&S::Priority, &S::SetPriority)),
          BooleanProperty(QStringLiteral("Lg"), Field(&S::Lg)),
          StringProperty(QStringLiteral("LangDir"), Methods(&S::LangDir, &S::SetLangDir)),
          CollectionProperty(QStringLiteral("OutputDevice"), &S::OutputDevice),
          IntegerProperty(QStringLiteral("MixerFreq"), Field(&S::MixerFreq)),
          BooleanProperty(QStringLiteral("ProduceSilence"), Field(&S::ProduceSilence)),
          BooleanProperty(QStringLiteral("DisableMFCodecs"), Field(&S::DisableMFCodecs)),
          BooleanProperty(QStringLiteral("DeviceStallCheck"), Field(&S::DeviceStallCheck)),
          IntegerProperty(QStringLiteral("InputWasapiBufSize"), Field(&S::InputWasapiBufSize)),
          IntegerProperty(QStringLiteral("InputAsioBufSize"), Field(&S::InputAsioBufSize)),
          CollectionProperty(QStringLiteral("Inputs"), &S::Inputs),
          BooleanProperty(QStringLiteral("SeparateMicAndMusicDSP"), Field(&S::SeparateMicAndMusicDSP)),
          IntegerProperty(QStringLiteral("MicMusicVol"), Field(&S::MicMusicVol)),
          IntegerProperty(QStringLiteral("MicMusicFade"), Field(&S::MicMusicFade)),
          IntegerProperty(QStringLiteral("MicMusicFadeOut"), Field(&S::MicMusicFadeOut)),
          IntegerProperty(QStringLiteral("MicPreamp"), Field(&S::MicPreamp)),
          BooleanProperty(QStringLiteral("MicLocalMute"), Field(&S::MicLocalMute)),
          BooleanProperty(QStringLiteral("MicSidechain"), Field(&S::MicSidechain)),
          FloatProperty(QStringLiteral("MicSidechainThreshold"), Field(&S::MicSidechainThreshold)),
          IntegerProperty(QStringLiteral("MicSidechainAttack"), Field(&S::MicSidechainAttack)),
          IntegerProperty(QStringLiteral("MicSidechainRelease"), Field(&S::MicSidechainRelease)),
          IntegerProperty(QStringLiteral("MicSidechainFadeIn"), Field(&S::MicSidechainFadeIn)),
          IntegerProperty(QStringLiteral("MicSidechainFadeOut"), Field(&S::MicSidechainFadeOut)),
          BooleanProperty(QStringLiteral("MicUseBed"), Field(&S::MicUseBed)),
          StringProperty(QStringLiteral("MicBedFN"), Field(&S::MicBedFN)),
          BooleanProperty(QStringLiteral("MicBedWhenNoMusicOnly"), Field(&S::MicBedWhenNoMusicOnly)),
          IntegerProperty(QStringLiteral("MicBedLevel"), Field(&S::MicBedLevel)),
          IntegerProperty(QStringLiteral("MicBedFadeIn"), Field(&S::MicBedFadeIn)),
          IntegerProperty(QStringLiteral("MicBedFadeOut"), Field(&S::MicBedFadeOut)),
          BooleanProperty(QStringLiteral("RequireLogin"), Field(&S::RequireLogin)),
          BooleanProperty(QStringLiteral("DisableVisThread"), Field(&S::DisableVisThread)),
          BooleanProperty(QStringLiteral("FirstRun"), Field(&S::FirstRun)),
          StringProperty(QStringLiteral("InetStreamProxy"), Field(&S::InetStreamProxy)),
          StringProperty(QStringLiteral("BroadcastProxy"), Field(&S::BroadcastProxy)),
          StringProperty(QStringLiteral("Settings"), Field(&S::Settings)),
          BooleanProperty(QStringLiteral("ScreenReaderMode"), Field(&S::ScreenReaderMode)),
          BooleanProperty(QStringLiteral("ScreenReaderVSTTextUI"), Field(&S::ScreenReaderVSTTextUI)),
          BooleanProperty(QStringLiteral("DisableScreensaver"), Field(&S::DisableScreensaver)),
          StringProperty(QStringLiteral("StreamUserAgent"), Field(&S::StreamUserAgent)),
          EnumProperty(QStringLiteral("AdditionalInfoStorage"), Field(&S::AdditionalInfoStorage),
                       AddInfoStorageTypeNames()),
          StringProperty(QStringLiteral("MySqlHost"), Field(&S::MySqlHost)),
          StringProperty(QStringLiteral("MySqlUser"), Field(&S::MySqlUser)),
          StringProperty(QStringLiteral("MySqlPass"), Field(&S::MySqlPass)),
          StringProperty(QStringLiteral("MySqlDatabase"), Field(&S::MySqlDatabase)),
          BooleanProperty(QStringLiteral("SQLitePathDedicated"), Field(&S::SQLitePathDedicated)),
          BooleanProperty(QStringLiteral("IsWatchdog"), Field(&S::IsWatchdog)),
          StringProperty(QStringLiteral("MultipleArtistSeparator"), Field(&S::MultipleArtistSeparator)),
          BooleanProperty(QStringLiteral("SQLiteIgnoreAccents"), Field(&S::SQLiteIgnoreAccents)),
          BooleanProperty(QStringLiteral("EnableVideo"), Field(&S::EnableVideo)),
          BooleanProperty(QStringLiteral("DisableTags"), Field(&S::DisableTags)),
          IntegerProperty(QStringLiteral("ValidationMinSilenceAmt"), Field(&S::ValidationMinSilenceAmt)),
          BooleanProperty(QStringLiteral("TagEditKeepModifiedTime"), Field(&S::TagEditKeepModifiedTime)),
          BooleanProperty(QStringLiteral("SkipCacheValidation"), Field(&S::SkipCacheValidation)),
          BooleanProperty(QStringLiteral("TagReadHelper"), Field(&S::TagReadHelper)),
          IntegerProperty(QStringLiteral("AnsiCodePage"), Field(&S::AnsiCodePage)),
          BooleanProperty(QStringLiteral("UseAPEv2TagForFlac"), Field(&S::UseAPEv2TagForFlac)),
          BooleanProperty(QStringLiteral("ReadCoverArtFromFolder"), Field(&S::ReadCoverArtFromFolder)),
          IntegerProperty(QStringLiteral("NormalizeType"), Field(&S::NormalizeType)),
          BooleanProperty(QStringLiteral("NormalizePreventClipping"), Field(&S::NormalizePreventClipping)),
      });
  return Table;
}

}  // namespace wavenard
