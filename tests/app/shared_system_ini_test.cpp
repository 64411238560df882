// "system.ini" is shared with the suite's other programs, which may change it while the settings
// dialog is open.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>

#include "app/settings_form.h"
#include "config/connection_settings.h"
#include "config/system_ini.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/table_device_source.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

QString NoSpecialFolder(int) {
  return {};
}

TEST(SharedSystemIni, OKKeepsWhatAnotherProgramChangedMeanwhileAndSavesTheMicrophoneOnTop) {
  test::TTempFolder Folder;
  test::TScriptedBoxPresenter Boxes;
  test::TTableDeviceSource Devices;
  Devices.List(TDeviceList::Wasapi) = {
      {"Desk microphone", "{In-Desk}", DEVICE_INPUT | DEVICE_ENABLED},
      {"Headset", "{In-Headset}", DEVICE_INPUT | DEVICE_ENABLED},
  };
  TSettings Settings;
  TSystemIni SystemIni(TFolders(Folder.Path(), Folder.Path()), Boxes, NoSpecialFolder);
  qint32 Tag = 0;
  SystemIni.Read(Tag);
  SystemIni.Save();
  const QByteArray Before = Folder.Read("system.ini");

  TSettingsFrm Dialog(Settings, SystemIni, Devices);
  Dialog.show();
  QByteArray Theirs = Before;
  ASSERT_TRUE(Theirs.contains("  MixerFreq = 48000\r\n"));
  Theirs.replace("  MixerFreq = 48000\r\n", "  MixerFreq = 32000\r\n");
  Folder.Write("system.ini", Theirs);
  Dialog.cbInput().setCurrentIndex(1);
  Dialog.btOK().click();

  QByteArray Expected = Theirs;
  ASSERT_EQ(Expected.count("      Method = -2\r\n"), 1);
  Expected.replace("      Method = -2\r\n", "      Method = 1\r\n      DeviceID = '{In-Headset}'\r\n");
  const QByteArray Saved = Folder.Read("system.ini");
  EXPECT_EQ(Saved, Expected);
  EXPECT_EQ(SystemIni.MixerFreq, 32000);
  EXPECT_EQ(Folder.Read("system.ini.bak"), Saved);
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

}  // namespace
}  // namespace wavenard
