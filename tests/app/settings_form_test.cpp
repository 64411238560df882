#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "app/settings_form.h"
#include "config/connection_settings.h"
#include "config/system_ini.h"
#include "tests/testsupport/scripted_box_presenter.h"
#include "tests/testsupport/table_device_source.h"
#include "tests/testsupport/temp_folder.h"

namespace wavenard {
namespace {

constexpr quint32 Capture = DEVICE_INPUT | DEVICE_ENABLED;

class SettingsFormTest : public ::testing::Test {
 protected:
  SettingsFormTest() {
    qint32 Tag = 0;
    SystemIni.Read(Tag);
    Settings.SetServer("studio");
    Settings.SetPort(8000);
    Settings.SetUser("anna");
    Settings.SetPass("secret");
  }

  void AddDevices() {
    Devices.List(TDeviceList::Wasapi) = {
        {"Speakers", "out-1", DEVICE_ENABLED},
        {"Desk microphone", "{In-Desk}", Capture},
        {"Monitor of Speakers", "mon-1", Capture | DEVICE_LOOPBACK},
        {"Headset", "{In-Headset}", Capture},
    };
  }
  TInputDevice& Input() { return SystemIni.Inputs.Items(0); }

  // Shows the dialog and ends it with OK or Cancel, after AEdit has worked on it.
  void Run(bool AOK, const std::function<void(TSettingsFrm&)>& AEdit = {}) {
    TSettingsFrm Dialog(Settings, SystemIni, Devices);
    Dialog.show();
    Shown = Dialog.cbInput().currentIndex();
    Names.clear();
    for (int I = 0; I < Dialog.cbInput().count(); ++I) {
      Names.append(Dialog.cbInput().itemText(I));
    }
    if (AEdit) {
      AEdit(Dialog);
    }
    (AOK ? Dialog.btOK() : Dialog.btCancel()).click();
    Result = Dialog.result();
  }

  test::TTempFolder Folder;
  test::TScriptedBoxPresenter Boxes;
  TSystemIni SystemIni{TFolders(Folder.Path(), Folder.Path()), Boxes};
  TSettings Settings;
  test::TTableDeviceSource Devices;
  int Shown = -2;
  QStringList Names;
  int Result = -1;
};

TEST_F(SettingsFormTest, TheDialogShowsTheValuesAndTheCaptureDevicesInItsLayout) {
  AddDevices();
  TSettingsFrm Dialog(Settings, SystemIni, Devices);
  Dialog.show();
  EXPECT_EQ(Dialog.windowTitle(), "Settings");
  EXPECT_EQ(Dialog.size(), QSize(302, 297));
  EXPECT_EQ(Dialog.edServer().text(), "studio");
  EXPECT_EQ(Dialog.nbPort().value(), 8000);
  EXPECT_EQ(Dialog.nbPort().minimum(), std::numeric_limits<qint32>::min());
  EXPECT_EQ(Dialog.nbPort().maximum(), std::numeric_limits<qint32>::max());
  EXPECT_EQ(Dialog.edUser().text(), "anna");
  EXPECT_EQ(Dialog.edPass().text(), "secret");
  EXPECT_EQ(Dialog.edPass().echoMode(), QLineEdit::Password);
  EXPECT_EQ(Dialog.cbInput().count(), 2);
  EXPECT_EQ(Dialog.DeviceIds(), (QStringList{"{In-Desk}", "{In-Headset}"}));
  EXPECT_EQ(Dialog.cbInput().itemData(1).toInt(), 3);
  EXPECT_EQ(Dialog.edServer().mapTo(&Dialog, QPoint()), QPoint(18, 45));
  EXPECT_EQ(Dialog.btOK().geometry(), QRect(138, 264, 75, 25));
  EXPECT_TRUE(Dialog.btOK().isDefault());

  // Tab order: the edits, the port, the device list, then OK and Cancel. Inner parts of a
  // control (the port box's edit) count as the control.
  const QList<QWidget*> Order{&Dialog.edServer(), &Dialog.nbPort(), &Dialog.edUser(),  &Dialog.edPass(),
                              &Dialog.cbInput(),  &Dialog.btOK(),   &Dialog.btCancel()};
  QList<QWidget*> Chain;
  QWidget* Widget = &Dialog.edServer();
  do {
    for (QWidget* Control : Order) {
      if ((Widget == Control || Control->isAncestorOf(Widget)) &&
          (Chain.isEmpty() || Chain.last() != Control) && (Widget->focusPolicy() & Qt::TabFocus)) {
        Chain.append(Control);
      }
    }
    Widget = Widget->nextInFocusChain();
  } while (Widget != &Dialog.edServer());
  EXPECT_EQ(Chain, Order);
}

TEST_F(SettingsFormTest, TheStoredDeviceIsSelectedAndOKStoresTheSelection) {
  struct TCase {
    const char* Name;
    bool WithDevices;
    QString Stored;
    int Selected;
    QString AfterOK;
  };
  const TCase Cases[] = {
      {"the default device", true, ":default", 0, "{In-Desk}"},
      {"none stored", true, "", -1, ""},
      {"a device that is gone", true, "{In-Gone}", -1, ""},
      {"another letter case", true, "{in-headset}", 1, "{In-Headset}"},
      {"no capture device at all", false, ":default", -1, ""},
  };
  for (const TCase& Case : Cases) {
    SCOPED_TRACE(Case.Name);
    Devices.List(TDeviceList::Wasapi).clear();
    if (Case.WithDevices) {
      AddDevices();
    }
    Input().DeviceID = Case.Stored;
    Input().Method = 0;
    Run(true);
    EXPECT_EQ(Shown, Case.Selected);
    EXPECT_EQ(Input().DeviceID, Case.AfterOK);
    EXPECT_EQ(Input().Method, 1);
    EXPECT_EQ(Result, QDialog::Accepted);
  }
}

TEST_F(SettingsFormTest, OKTakesTheValuesAsTypedAndSavesTheSystemSettingsOnly) {
  AddDevices();
  Run(true, [](TSettingsFrm& ADialog) {
    ADialog.edServer().setText(" radio.example ");
    ADialog.nbPort().setValue(-5);
    ADialog.edUser().setText("");
    ADialog.edPass().setText("new pass");
    ADialog.cbInput().setCurrentIndex(1);
  });
  EXPECT_EQ(Settings.Server(), " radio.example ");
  EXPECT_EQ(Settings.Port(), -5);
  EXPECT_EQ(Settings.User(), "");
  EXPECT_EQ(Settings.Pass(), "new pass");
  EXPECT_EQ(Input().DeviceID, "{In-Headset}");
  EXPECT_TRUE(QFile::exists(Folder.File("system.ini")));
  EXPECT_FALSE(QFile::exists(Folder.File("settings.ini")));
  EXPECT_TRUE(Boxes.Shown().isEmpty());
}

TEST_F(SettingsFormTest, OKWhileRequestsReadTheSettingsNeverShowsThemAMix) {
  // A reader that takes the four values at once, as a request worker does.
  std::atomic<bool> Stop{false};
  std::atomic<int> Mixed{0};
  std::atomic<int> Reads{0};
  std::thread Worker([&] {
    while (!Stop) {
      const TConnectionValues Seen = Settings.Snapshot();
      const bool Old = Seen == TConnectionValues{u"studio"_qs, 8000, u"anna"_qs, u"secret"_qs};
      const bool New = Seen == TConnectionValues{u"other"_qs, 9000, u"ben"_qs, u"pw"_qs};
      Mixed += (Old || New) ? 0 : 1;
      ++Reads;
    }
  });
  Run(true, [&](TSettingsFrm& ADialog) {
    ADialog.edServer().setText("other");
    ADialog.nbPort().setValue(9000);
    ADialog.edUser().setText("ben");
    ADialog.edPass().setText("pw");
  });
  while (Reads < 1000) {
    std::this_thread::yield();
  }
  Stop = true;
  Worker.join();
  EXPECT_EQ(Mixed.load(), 0);
  EXPECT_EQ(Settings.Server(), "other");
}

TEST_F(SettingsFormTest, CancelKeepsTheRecordsButTheMethodIsSetAllTheSame) {
  AddDevices();
  Input().DeviceID = "{In-Desk}";
  Input().Method = 0;
  Run(false, [](TSettingsFrm& ADialog) {
    ADialog.edServer().setText("elsewhere");
    ADialog.cbInput().setCurrentIndex(1);
  });
  EXPECT_EQ(Result, QDialog::Rejected);
  EXPECT_EQ(Settings.Server(), "studio");
  EXPECT_EQ(Input().DeviceID, "{In-Desk}");
  EXPECT_EQ(Input().Method, 1);
  EXPECT_FALSE(QFile::exists(Folder.File("system.ini")));
}

TEST_F(SettingsFormTest, EachShowingReadsTheDevicesAfresh) {
  AddDevices();
  Run(false);
  EXPECT_EQ(Names, (QStringList{"Desk microphone", "Headset"}));
  Devices.List(TDeviceList::Wasapi).removeLast();
  Run(false);
  EXPECT_EQ(Names, QStringList{"Desk microphone"});
}

}  // namespace
}  // namespace wavenard
