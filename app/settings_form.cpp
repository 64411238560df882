#include "app/settings_form.h"

#include "app/window_font.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <limits>

#include "audio/capture_devices.h"
#include "config/connection_settings.h"
#include "config/system_ini.h"

namespace wavenard {

namespace {

constexpr QSize ClientSize(302, 297);
// The regular device list's successor the microphone is chosen from.
constexpr qint32 WasapiMethod = 1;

template <class T>
T* Place(T* AWidget, const char* AName, QRect AGeometry) {
  AWidget->setObjectName(QString::fromLatin1(AName));
  AWidget->setGeometry(AGeometry);
  return AWidget;
}

void AddLabel(QWidget* AParent, const char* AName, const char* AText, QPoint APosition, QWidget* ABuddy) {
  auto* Label = new QLabel(QString::fromLatin1(AText), AParent);
  Label->setObjectName(QString::fromLatin1(AName));
  Label->move(APosition);
  Label->adjustSize();
  Label->setBuddy(ABuddy);
}

}  // namespace

TSettingsFrm::TSettingsFrm(TSettings& ASettings, TSystemIni& ASystemIni, TDeviceSource& ADevices,
                           QWidget* AParent)
    : QDialog(AParent), FSettings(ASettings), FSystemIni(ASystemIni), FDevices(ADevices) {
  setObjectName(QStringLiteral("SettingsFrm"));
  setWindowTitle(QStringLiteral("Settings"));
  setFont(WindowFont());
  setFixedSize(ClientSize);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);

  FConnectionGroup =
      Place(new QGroupBox(QStringLiteral("Quorvane"), this), "gbConnection", QRect(8, 8, 286, 167));
  FServerEdit = Place(new QLineEdit(FConnectionGroup), "edServer", QRect(10, 37, 193, 23));
  FServerEdit->setToolTip(QStringLiteral(
      "The station's host name or IP address. Type https://host to encrypt the connection (Port 0: 443)."));
  FPortBox = Place(new QSpinBox(FConnectionGroup), "nbPort", QRect(209, 37, 67, 23));
  FPortBox->setRange(std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
  FPortBox->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  FUserEdit = Place(new QLineEdit(FConnectionGroup), "edUser", QRect(10, 85, 193, 23));
  FPassEdit = Place(new QLineEdit(FConnectionGroup), "edPass", QRect(10, 133, 193, 23));
  FPassEdit->setEchoMode(QLineEdit::Password);
  FPassEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
  AddLabel(FConnectionGroup, "Label1", "Hostname/IP address", QPoint(10, 18), FServerEdit);
  AddLabel(FConnectionGroup, "Label2", "Port", QPoint(209, 18), FPortBox);
  AddLabel(FConnectionGroup, "Label3", "Username", QPoint(10, 66), FUserEdit);
  AddLabel(FConnectionGroup, "Label4", "Password", QPoint(10, 114), FPassEdit);

  FInputGroup = Place(new QGroupBox(QStringLiteral("Microphone"), this), "gbInput", QRect(8, 181, 286, 72));
  FInputBox = Place(new QComboBox(FInputGroup), "cbInput", QRect(10, 37, 266, 23));
  FInputBox->setEditable(false);
  AddLabel(FInputGroup, "Label5", "Device", QPoint(10, 18), FInputBox);

  FOKButton = Place(new QPushButton(QStringLiteral("OK"), this), "btOK", QRect(138, 264, 75, 25));
  FOKButton->setDefault(true);
  FCancelButton = Place(new QPushButton(QStringLiteral("Cancel"), this), "btCancel", QRect(219, 264, 75, 25));
  connect(FOKButton, &QPushButton::clicked, this, [this] {
    btOKClick();
    accept();
  });
  connect(FCancelButton, &QPushButton::clicked, this, &QDialog::reject);

  setTabOrder(FServerEdit, FPortBox);
  setTabOrder(FPortBox, FUserEdit);
  setTabOrder(FUserEdit, FPassEdit);
  setTabOrder(FPassEdit, FInputBox);
  setTabOrder(FInputBox, FOKButton);
  setTabOrder(FOKButton, FCancelButton);
}

void TSettingsFrm::showEvent(QShowEvent* AEvent) {
  QDialog::showEvent(AEvent);
  if (!FShown) {
    FShown = true;
    FormShow();
    FServerEdit->setFocus();
  }
}

void TSettingsFrm::FormShow() {
  const TConnectionValues Connection = FSettings.Snapshot();
  FServerEdit->setText(Connection.Server);
  FPortBox->setValue(Connection.Port);
  FUserEdit->setText(Connection.User);
  FPassEdit->setText(Connection.Pass);
  FillInputDevices();
  TInputDevice& Input = FSystemIni.Inputs.Items(0);
  Input.Method = WasapiMethod;
  int Selected = -1;
  if (Input.DeviceID == TSoundDevice::DefaultDeviceID) {
    Selected = FInputBox->count() > 0 ? 0 : -1;
  } else {
    for (int I = 0; I < FDeviceIds.size(); ++I) {
      if (FDeviceIds[I].compare(Input.DeviceID, Qt::CaseInsensitive) == 0) {
        Selected = I;
        break;
      }
    }
  }
  FInputBox->setCurrentIndex(Selected);
}

void TSettingsFrm::FillInputDevices() {
  QList<TNumberedName> Names;
  ListCaptureDevices(FDevices, Names, FDeviceIds);
  for (const TNumberedName& Name : Names) {
    FInputBox->addItem(Name.Name, Name.Number);
  }
}

void TSettingsFrm::btOKClick() {
  // A worker reads either the old group of four or the new one, never a mixture.
  FSettings.Assign({FServerEdit->text(), FPortBox->value(), FUserEdit->text(), FPassEdit->text()});
  TInputDevice& Input = FSystemIni.Inputs.Items(0);
  Input.Method = WasapiMethod;
  const int Selected = FInputBox->currentIndex();
  Input.DeviceID = Selected < 0 || Selected >= FDeviceIds.size() ? QString() : FDeviceIds[Selected];
  FSystemIni.Save();
}

void ShowSettings(TSettings& ASettings, TSystemIni& ASystemIni, TDeviceSource& ADevices, QWidget* ACentreOn) {
  TSettingsFrm Dialog(ASettings, ASystemIni, ADevices);
  Dialog.setWindowModality(Qt::ApplicationModal);
  if (ACentreOn != nullptr) {
    QRect Frame(QPoint(), Dialog.size());
    Frame.moveCenter(ACentreOn->geometry().center());
    Dialog.move(Frame.topLeft());
  }
  Dialog.exec();
}

}  // namespace wavenard
