#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <memory>
#include <optional>

#include "config/object_text.h"
#include "config/system_ini.h"
#include "support/message_box.h"
#include "tests/config/qt_print.h"
#include "tests/config/text_helpers.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

QByteArray Fixture(const char* AName) {
  QFile File(QStringLiteral(SYSTEM_INI_FIXTURES) + QString::fromLatin1(AName));
  if (!File.open(QIODevice::ReadOnly)) {
    ADD_FAILURE() << "missing fixture " << AName;
    return {};
  }
  return File.readAll();
}

QString NoSpecialFolder(int) {
  return {};
}

// An installation whose application folder is also its settings folder, as without "uid.ini".
struct TInstallation {
  test::TTempFolder Folder;
  test::TScriptedBoxPresenter Boxes;
  qint32 ApplicationTag = 0;

  std::unique_ptr<TSystemIni> Create() {
    return std::make_unique<TSystemIni>(TFolders(Folder.Path(), Folder.Path()), Boxes, NoSpecialFolder);
  }
  std::unique_ptr<TSystemIni> Read() {
    std::unique_ptr<TSystemIni> Record = Create();
    Record->Read(ApplicationTag);
    return Record;
  }
  QByteArray File() const { return Folder.Read("system.ini"); }
  QByteArray Backup() const { return Folder.Read("system.ini.bak"); }
};

QByteArray Replaced(QByteArray AText, const char* AOld, const char* ANew) {
  EXPECT_TRUE(AText.contains(AOld)) << AOld;
  return AText.replace(AOld, ANew);
}

TEST(TSystemIni, ANewRecordIsSavedAsTheSuiteExpectsIt) {
  TInstallation Setup;
  const std::unique_ptr<TSystemIni> Record = Setup.Read();
  EXPECT_TRUE(Record->ReadSuccessful());
  Record->Save();

  EXPECT_EQ(Setup.File(), Fixture("fresh.ini"));
  EXPECT_EQ(Setup.Backup(), Setup.File());
  EXPECT_TRUE(Setup.Boxes.Shown().isEmpty());
}

TEST(TSystemIni, ASuiteFileComesBackUnchangedExceptTheMicrophone) {
  TInstallation Setup;
  const QByteArray Suite = Fixture("suite.ini");
  Setup.Folder.Write("system.ini", Suite);
  const std::unique_ptr<TSystemIni> Record = Setup.Read();
  ASSERT_TRUE(Record->ReadSuccessful());
  EXPECT_EQ(Record->Tag(), 3);
  EXPECT_EQ(Record->VSTFolder, QStringList({"C:\\Program Files\\Steinberg\\VstPlugins\\", "D:\\Effects"}));
  EXPECT_EQ(Record->Bandwidth, 0.2F);
  EXPECT_EQ(Record->MicBedFN, QString::fromUtf8("C:\\Beds\\Caf\u00e9 bed.flac"));
  EXPECT_EQ(Record->Settings, "Studio's desk\r\nsecond line");
  EXPECT_EQ(Record->OutputDevice.Items(4).Speakers, 0xFFFFFFFFU);
  EXPECT_EQ(Record->AdditionalInfoStorage, TAddInfoStorageType::aiMySQL);
  EXPECT_EQ(Record->StreamUserAgent, "StationPlayer/5");

  Record->Save();
  EXPECT_EQ(Setup.File(), Suite);

  TInputDevice& Microphone = Record->Inputs.Items(0);
  Microphone.Method = 0;
  Microphone.DeviceID = "alsa_input.usb-desk";
  Record->Save();
  QByteArray Expected =
      Replaced(Suite, "      Method = 1\r\n      DeviceID = '{0.0.1.00000000}.{e5f6a7b8}'\r\n",
               "      Method = 0\r\n      DeviceID = 'alsa_input.usb-desk'\r\n");
  EXPECT_EQ(Setup.File(), Expected);
  EXPECT_EQ(Setup.Backup(), Expected);
}

TEST(TSystemIni, ChangesOtherProgramsMadeWhileItRunsAreKeptAndOnlyItsOwnMicrophoneGoesOnTop) {
  TInstallation Setup;
  const QByteArray Suite = Fixture("suite.ini");
  Setup.Folder.Write("system.ini", Suite);
  const std::unique_ptr<TSystemIni> Record = Setup.Read();

  // Another program changes one value, and this one changes the microphone.
  const QByteArray Theirs = Replaced(Suite, "  MicMusicVol = -20\r\n", "  MicMusicVol = -7\r\n");
  Setup.Folder.Write("system.ini", Theirs);
  Record->Inputs.Items(0).Method = 0;
  Record->Inputs.Items(0).DeviceID = "alsa_input.usb-desk";
  Record->Save();
  const QByteArray Both =
      Replaced(Theirs, "      Method = 1\r\n      DeviceID = '{0.0.1.00000000}.{e5f6a7b8}'\r\n",
               "      Method = 0\r\n      DeviceID = 'alsa_input.usb-desk'\r\n");
  EXPECT_EQ(Setup.File(), Both);
  EXPECT_EQ(Setup.Backup(), Both);
  EXPECT_EQ(Record->MicMusicVol, -7);

  // A value they leave out returns to its construction value here too, and their microphone
  // stays when this program has not changed its own since.
  const QByteArray Cleared = Replaced(Replaced(Both, "  MicBedFN = 'C:\\Beds\\Caf'#233' bed.flac'\r\n", ""),
                                      "'alsa_input.usb-desk'", "'their-mic'");
  Setup.Folder.Write("system.ini", Cleared);
  Record->Save();
  EXPECT_EQ(Setup.File(), Cleared);
  EXPECT_TRUE(Record->MicBedFN.isEmpty());
  EXPECT_EQ(Record->Inputs.Items(0).DeviceID, "their-mic");

  // A file they leave broken is kept aside, and the record as it stands is saved.
  Setup.Folder.Write("system.ini", "broken");
  Record->Save();
  EXPECT_EQ(Setup.Folder.Read("system.ini.damaged"), "broken");
  EXPECT_EQ(Setup.File(), Cleared);
  EXPECT_EQ(Setup.Backup(), Cleared);
  EXPECT_TRUE(Setup.Boxes.Shown().isEmpty());
}

TEST(TSystemIni, ReadCompletesShortDeviceListsAndKeepsTheConstructorsForAnEmptyOne) {
  TInstallation Setup;
  Setup.Folder.Write("system.ini", test::Crlf("object TSystemIni\n"
                                              "  OutputDevice = <\n"
                                              "    item\n      DevType = odRegular\n      Method = 0\n"
                                              "      DeviceID = 'hw0'\n      SampleFreq = 44100\n"
                                              "      BufSize = 100\n    end\n"
                                              "    item\n      DevType = odMixer\n      Method = -1\n"
                                              "      SampleFreq = 48000\n      BufSize = 500\n    end\n"
                                              "    item\n      DevType = odMixer\n      Method = 2\n"
                                              "      SampleFreq = 48000\n      BufSize = 500\n    end>\n"
                                              "  Inputs = <\n"
                                              "    item\n      DevType = odMixer\n      Method = 1\n"
                                              "      DeviceID = 'mic'\n      MixerSrc = 0\n"
                                              "      Stereo = True\n      KeepAlive = False\n    end>\n"
                                              "end\n"));
  const std::unique_ptr<TSystemIni> Record = Setup.Read();

  ASSERT_EQ(Record->OutputDevice.Count(), 7);
  EXPECT_EQ(Record->OutputDevice.Items(0).DeviceID, "hw0");
  EXPECT_EQ(Record->OutputDevice.Items(2).Method, 2);
  for (int I = 3; I < 7; ++I) {
    const TOutputDevice& Added = Record->OutputDevice.Items(I);
    EXPECT_EQ(Added.DevType, TOutputDevType::odRegular) << I;
    EXPECT_EQ(Added.Method, 1) << I;
    EXPECT_EQ(Added.DeviceID, ":decode") << I;
    EXPECT_EQ(Added.BufSize, 75) << I;
    EXPECT_EQ(Added.SampleFreq, 48000) << I;
  }
  ASSERT_EQ(Record->Inputs.Count(), 4);
  EXPECT_EQ(Record->Inputs.Items(0).DeviceID, "mic");
  for (int I = 1; I < 4; ++I) {
    EXPECT_EQ(Record->Inputs.Items(I).Method, -1) << I;
    EXPECT_FALSE(Record->Inputs.Items(I).Stereo) << I;
    EXPECT_FALSE(Record->Inputs.Items(I).KeepAlive) << I;
  }

  TInstallation Empty;
  Empty.Folder.Write("system.ini", test::Crlf("object TSystemIni\n  Inputs = <>\nend\n"));
  const std::unique_ptr<TSystemIni> Kept = Empty.Read();
  ASSERT_EQ(Kept->Inputs.Count(), 4);
  EXPECT_EQ(Kept->Inputs.Items(0).Method, -2);
  EXPECT_TRUE(Kept->Inputs.Items(0).KeepAlive);
  for (int I = 1; I < 4; ++I) {
    EXPECT_TRUE(Kept->Inputs.Items(I).Stereo) << I;
  }
}

TEST(TSystemIni, ANewOutputEntryIsWrittenWithItsConstructorValues) {
  TInstallation Setup;
  const std::unique_ptr<TSystemIni> Record = Setup.Create();
  Record->OutputDevice.Clear();
  Record->OutputDevice.Add();
  EXPECT_TRUE(
      WriteObjectText(*Record).contains(test::Crlf("  OutputDevice = <\n"
                                                   "    item\n"
                                                   "      DevType = odMixer\n"
                                                   "      Method = 0\n"
                                                   "      SampleFreq = 48000\n"
                                                   "      BufSize = 500\n"
                                                   "    end>\n")));
}

TEST(TSystemIni, PriorityIsWrittenAsAtMostTwo) {
  const struct {
    const char* Stored;
    qint32 Getter;
    const char* Written;
  } Cases[] = {{"7", 2, "  Priority = 2\r\n"},
               {"3", 2, "  Priority = 2\r\n"},
               {"2", 2, "  Priority = 2\r\n"},
               {"-1", -1, "  Priority = -1\r\n"}};
  for (const auto& C : Cases) {
    TInstallation Setup;
    Setup.Folder.Write("system.ini",
                       "object TSystemIni\r\n  Priority = " + QByteArray(C.Stored) + "\r\nend\r\n");
    const std::unique_ptr<TSystemIni> Record = Setup.Read();
    EXPECT_EQ(Record->Priority(), C.Getter) << C.Stored;
    Record->Save();
    EXPECT_TRUE(Setup.File().contains(C.Written)) << C.Stored;
  }
}

TEST(TSystemIni, LangDirSettlesTheSlashFromSetupIniOnce) {
  const struct {
    const char* Name;
    const char* Stored;      // the LangDir line of "system.ini"; none when null
    const char* SetupIni;    // none when null
    const char* LangFolder;  // created below "Lang" when not null
    const char* Expected;
  } Cases[] = {
      {"no setup.ini", nullptr, nullptr, nullptr, "En"},
      {"language with its folder", nullptr, "[Setup]\r\nLanguage=De\r\n", "De", "De"},
      {"language without its folder", nullptr, "[Setup]\r\nLanguage=De\r\n", "Fr", "En"},
      {"no Language key", nullptr, "[Setup]\r\nOther=De\r\n", "De", "En"},
      {"stored slash", "'/'", "[setup]\r\nlanguage=Fr\r\n", "Fr", "Fr"},
      {"stored name without folder", "'Nl'", "[Setup]\r\nLanguage=De\r\n", "De", "Nl"},
  };
  for (const auto& C : Cases) {
    TInstallation Setup;
    if (C.Stored != nullptr) {
      Setup.Folder.Write("system.ini",
                         "object TSystemIni\r\n  LangDir = " + QByteArray(C.Stored) + "\r\nend\r\n");
    }
    if (C.SetupIni != nullptr) {
      Setup.Folder.Write("setup.ini", C.SetupIni);
    }
    if (C.LangFolder != nullptr) {
      ASSERT_TRUE(QDir(Setup.Folder.Path()).mkpath(QStringLiteral("Lang/") + C.LangFolder));
    }
    const std::unique_ptr<TSystemIni> Record = Setup.Read();
    EXPECT_EQ(Record->LangDir(), C.Expected) << C.Name;

    // Settled once: a later setup.ini changes nothing, and the file holds the settled name.
    Setup.Folder.Write("setup.ini", "[Setup]\r\nLanguage=It\r\n");
    ASSERT_TRUE(QDir(Setup.Folder.Path()).mkpath(QStringLiteral("Lang/It")));
    EXPECT_EQ(Record->LangDir(), C.Expected) << C.Name;
    Record->Save();
    EXPECT_TRUE(Setup.File().contains("  LangDir = '" + QByteArray(C.Expected) + "'\r\n")) << C.Name;
  }
}

TEST(TSystemIni, ScreenReaderModeSetsBitZeroOfTheApplicationTag) {
  const struct {
    const char* Content;  // no file when null
    qint32 Expected;
  } Cases[] = {
      {"object TSystemIni\r\n  ScreenReaderMode = True\r\nend\r\n", 0x45},
      {"object TSystemIni\r\n  ScreenReaderMode = False\r\nend\r\n", 0x44},
      {nullptr, 0x44},
  };
  for (const auto& C : Cases) {
    TInstallation Setup;
    Setup.ApplicationTag = 0x44;
    if (C.Content != nullptr) {
      Setup.Folder.Write("system.ini", C.Content);
    }
    Setup.Read();
    EXPECT_EQ(Setup.ApplicationTag, C.Expected) << (C.Content ? C.Content : "no file");
  }
}

TEST(TSystemIni, AFileThatCannotBeReadIsKeptAsideAndItsBackupSurvivesTheFirstSave) {
  const QByteArray GoodBackup = test::Crlf("object TSystemIni\n  MixerFreq = 44100\nend\n");
  const struct {
    const char* Name;
    QByteArray Content;
    bool ReadSuccessful;
    qint32 MixerFreq;  // what the record holds after the read
  } Cases[] = {
      {"not object text", "object TSystemIni\r\n  MixerFreq = 'open\r\nend\r\n", true, 48000},
      {"bad string list entry",
       test::Crlf("object TSystemIni\n  MixerFreq = 32000\n  VSTFolder.Strings = (\n    1)\n"
                  "  EQRange = 4\nend\n"),
       false, 32000},
  };
  for (const auto& C : Cases) {
    TInstallation Setup;
    Setup.Folder.Write("system.ini", C.Content);
    Setup.Folder.Write("system.ini.bak", GoodBackup);
    const std::unique_ptr<TSystemIni> Record = Setup.Read();
    EXPECT_EQ(Record->ReadSuccessful(), C.ReadSuccessful) << C.Name;
    EXPECT_EQ(Record->ReadErrorText().isEmpty(), C.ReadSuccessful) << C.Name;
    EXPECT_EQ(Record->MixerFreq, C.MixerFreq) << C.Name;
    EXPECT_EQ(Record->EQRange, 10) << C.Name;
    EXPECT_EQ(Record->OutputDevice.Count(), 7) << C.Name;
    EXPECT_EQ(Setup.File(), C.Content) << "a file with content is not restored: " << C.Name;

    Record->Save();
    EXPECT_EQ(Setup.Folder.Read("system.ini.damaged"), C.Content) << C.Name;
    EXPECT_EQ(Setup.Backup(), GoodBackup) << C.Name;
    EXPECT_TRUE(Setup.Boxes.Shown().isEmpty()) << C.Name;

    Record->Save();
    EXPECT_EQ(Setup.Backup(), Setup.File()) << "later saves refresh the backup: " << C.Name;
    EXPECT_EQ(Setup.Folder.Read("system.ini.damaged"), C.Content) << C.Name;
  }
}

TEST(TSystemIni, AnEmptyOrMissingFileIsRestoredFromItsBackup) {
  const QByteArray GoodBackup = test::Crlf("object TSystemIni\n  MixerFreq = 44100\nend\n");
  for (const bool Empty : {true, false}) {
    TInstallation Setup;
    if (Empty) {
      Setup.Folder.Write("system.ini", "");
    }
    Setup.Folder.Write("system.ini.bak", GoodBackup);
    const std::unique_ptr<TSystemIni> Record = Setup.Read();
    EXPECT_TRUE(Record->ReadSuccessful()) << Empty;
    EXPECT_EQ(Record->MixerFreq, 44100) << Empty;

    Record->Save();
    EXPECT_FALSE(QFile::exists(Setup.Folder.File("system.ini.damaged"))) << Empty;
    EXPECT_EQ(Setup.Backup(), Setup.File()) << Empty;
  }
}

mode_t ModeOf(const QString& AFileName) {
  struct stat Info {};
  return ::stat(QFile::encodeName(AFileName).constData(), &Info) == 0 ? Info.st_mode & 07777 : 0;
}

// The process's umask for one test.
class TUmask {
 public:
  explicit TUmask(mode_t AMask) : FOld(::umask(AMask)) {}
  ~TUmask() { ::umask(FOld); }
  Q_DISABLE_COPY_MOVE(TUmask)

 private:
  mode_t FOld;
};

TEST(TSystemIni, TheDatabaseAccountIsPrivateInTheUsersOwnFolderAndStaysReadableInASharedOne) {
  const TUmask Mask(022);
  const struct {
    const char* Case;
    bool UsersOwn;
    std::optional<mode_t> Existing;
    mode_t Mode;
  } Cases[] = {
      {"new in the user's own folder", true, std::nullopt, 0600},
      {"new in a shared folder", false, std::nullopt, 0644},
      // A mode someone chose for the file stays, wherever it lies.
      {"existing in the user's own folder", true, 0640, 0640},
      {"existing in a shared folder", false, 0600, 0600},
  };
  for (const auto& C : Cases) {
    test::TTempFolder Folder;
    test::TScriptedBoxPresenter Boxes;
    if (C.Existing) {
      ASSERT_EQ(
          ::chmod(QFile::encodeName(Folder.Write("system.ini", "object TSystemIni\r\nend\r\n")).constData(),
                  *C.Existing),
          0);
    }
    TSystemIni Record(TFolders(Folder.Path(), Folder.Path(), "7", C.UsersOwn), Boxes, NoSpecialFolder);
    qint32 Tag = 0;
    Record.Read(Tag);
    Record.MySqlPass = "db-secret";
    Record.Save();
    EXPECT_TRUE(Boxes.Shown().isEmpty()) << C.Case;
    EXPECT_EQ(ModeOf(Folder.File("system.ini")), C.Mode) << C.Case;
    EXPECT_EQ(ModeOf(Folder.File("system.ini.bak")), C.Mode) << C.Case;
  }
}

TEST(TSystemIni, AFailedSaveIsShownAndTheProgramGoesOn) {
  TInstallation Setup;
  const QString Missing = Setup.Folder.Path() + "missing/";
  TSystemIni Record(TFolders(Setup.Folder.Path(), Missing), Setup.Boxes, NoSpecialFolder);
  Record.Read(Setup.ApplicationTag);
  Record.Save();

  ASSERT_EQ(Setup.Boxes.Shown().size(), 1);
  const TBoxRequest& Box = Setup.Boxes.Shown().front();
  EXPECT_TRUE(Box.Text.startsWith("Error saving file (system.ini): Cannot create file \"" + Missing +
                                  "system.ini\". "))
      << Box.Text.toStdString();
  EXPECT_TRUE(Box.Text.endsWith('.'));
  EXPECT_EQ(Box.Caption, "Error");
  EXPECT_EQ(Box.Flags, 16);
  EXPECT_FALSE(QFile::exists(Missing + "system.ini.bak"));
}

TEST(TSystemIni, ASetupIniThatCannotBeReadFailsTheSaveAndLeavesTheFileAsItWas) {
  TInstallation Setup;
  const QByteArray Stored = test::Crlf("object TSystemIni\n  LangDir = '/'\nend\n");
  Setup.Folder.Write("system.ini", Stored);
  ASSERT_TRUE(QDir(Setup.Folder.Path()).mkdir("setup.ini"));
  const std::unique_ptr<TSystemIni> Record = Setup.Read();
  Record->Save();

  ASSERT_EQ(Setup.Boxes.Shown().size(), 1);
  EXPECT_TRUE(Setup.Boxes.Shown().front().Text.startsWith("Error saving file (system.ini): Cannot open file"))
      << Setup.Boxes.Shown().front().Text.toStdString();
  EXPECT_EQ(Setup.File(), Stored);
  EXPECT_FALSE(QFile::exists(Setup.Folder.File("system.ini.bak")));

  // The name was settled to the fallback before the failure.
  Record->Save();
  EXPECT_EQ(Setup.Boxes.Shown().size(), 1);
  EXPECT_TRUE(Setup.File().contains("  LangDir = 'En'\r\n"));
}

TEST(TSystemIni, VstFolderNamesThePluginFolderBelowProgramFilesWhenThereIsOne) {
  test::TScriptedBoxPresenter Boxes;
  QList<int> Asked;
  const TSystemIni WithFolder(TFolders("/app/", "/settings/"), Boxes, [&Asked](int AFolderId) {
    Asked.append(AFolderId);
    return QStringLiteral("/opt/programs/");
  });
  EXPECT_EQ(Asked, QList<int>({CSIDL_PROGRAM_FILES}));
  EXPECT_EQ(WithFolder.VSTFolder, QStringList({"/opt/programs/Steinberg/VstPlugins/"}));

  const TSystemIni Without(TFolders("/app/", "/settings/"), Boxes, NoSpecialFolder);
  EXPECT_TRUE(Without.VSTFolder.isEmpty());

#ifndef Q_OS_WIN
  // Only Windows has a program-files folder.
  const TSystemIni Platform(TFolders("/app/", "/settings/"), Boxes);
  EXPECT_TRUE(Platform.VSTFolder.isEmpty());
#endif
}

}  // namespace
}  // namespace wavenard
