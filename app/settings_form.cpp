#include "app/settings_form.h"

#include "app/window_font.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <limits>

#include "audio/capture_devices.h"
#include "config/connection_settings.h"
#include "config/system_ini.h"

namespace wavenard {

namespace {

// At 96 dots per inch: the client area, the controls' sizes, and the gaps that place them. The
// dialog has a fixed frame, so the layouts only place; they never stretch a control.
constexpr QSize ClientSize(302, 297);
constexpr QSize EditSize(193, 23);
constexpr QSize PortSize(67, 23);
constexpr QSize DeviceListSize(266, 23);
constexpr QSize ButtonSize(75, 25);
constexpr int ConnectionHeight = 167;
constexpr int InputHeight = 72;
constexpr int Gap = 6;
constexpr int ButtonGap = 11;
// Inside a group box: the first label stands 18 px below its top, each edit 19 px below its label.
constexpr QMargins GroupMargins(10, 18, 10, 11);
constexpr int LabelRowHeight = 19;
// The regular device list's successor the microphone is chosen from.
constexpr qint32 WasapiMethod = 1;

template <class T>
T* Named(T* AWidget, const char* AName, QSize ASize) {
  AWidget->setObjectName(QString::fromLatin1(AName));
  AWidget->setFixedSize(ASize);
  return AWidget;
}

// A group box whose grid starts at GroupMargins from its edges, whatever room the style would
// give its frame and title (some leave more than 18 px above the first label).
QGridLayout* GroupGrid(QGroupBox* AGroup, const char* AName, int AHeight) {
  AGroup->setObjectName(QString::fromLatin1(AName));
  AGroup->setFixedHeight(AHeight);
  AGroup->setContentsMargins(QMargins());
  auto* Grid = new QGridLayout(AGroup);
  Grid->setContentsMargins(GroupMargins);
  Grid->setHorizontalSpacing(Gap);
  Grid->setVerticalSpacing(0);
  return Grid;
}

// A label in its own row of the grid, above the control it names.
void AddLabel(QGridLayout* AGrid, const char* AName, const char* AText, int ARow, int AColumn,
              QWidget* ABuddy) {
  auto* Label = new QLabel(QString::fromLatin1(AText));
  Label->setObjectName(QString::fromLatin1(AName));
  Label->setBuddy(ABuddy);
  AGrid->addWidget(Label, ARow, AColumn, Qt::AlignLeft | Qt::AlignTop);
  AGrid->setRowMinimumHeight(ARow, LabelRowHeight);
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

  FConnectionGroup = new QGroupBox(QStringLiteral("Quorvane"), this);
  QGridLayout* Connection = GroupGrid(FConnectionGroup, "gbConnection", ConnectionHeight);
  FServerEdit = Named(new QLineEdit, "edServer", EditSize);
  FServerEdit->setToolTip(QStringLiteral(
      "The station's host name or IP address. Type https://host to encrypt the connection (Port 0: 443)."));
  FPortBox = Named(new QSpinBox, "nbPort", PortSize);
  FPortBox->setRange(std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
  FPortBox->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
  FUserEdit = Named(new QLineEdit, "edUser", EditSize);
  FPassEdit = Named(new QLineEdit, "edPass", EditSize);
  FPassEdit->setEchoMode(QLineEdit::Password);
  FPassEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
  AddLabel(Connection, "Label1", "Hostname/IP address", 0, 0, FServerEdit);
  AddLabel(Connection, "Label2", "Port", 0, 1, FPortBox);
  Connection->addWidget(FServerEdit, 1, 0);
  Connection->addWidget(FPortBox, 1, 1);
  Connection->setRowMinimumHeight(2, Gap);
  AddLabel(Connection, "Label3", "Username", 3, 0, FUserEdit);
  Connection->addWidget(FUserEdit, 4, 0);
  Connection->setRowMinimumHeight(5, Gap);
  AddLabel(Connection, "Label4", "Password", 6, 0, FPassEdit);
  Connection->addWidget(FPassEdit, 7, 0);
  Connection->setRowStretch(8, 1);
  Connection->setColumnStretch(2, 1);

  FInputGroup = new QGroupBox(QStringLiteral("Microphone"), this);
  QGridLayout* Input = GroupGrid(FInputGroup, "gbInput", InputHeight);
  FInputBox = Named(new QComboBox, "cbInput", DeviceListSize);
  FInputBox->setEditable(false);
  AddLabel(Input, "Label5", "Device", 0, 0, FInputBox);
  Input->addWidget(FInputBox, 1, 0);
  Input->setRowStretch(2, 1);
  Input->setColumnStretch(1, 1);

  FOKButton = Named(new QPushButton(QStringLiteral("OK")), "btOK", ButtonSize);
  FOKButton->setDefault(true);
  FCancelButton = Named(new QPushButton(QStringLiteral("Cancel")), "btCancel", ButtonSize);
  auto* Buttons = new QHBoxLayout;
  Buttons->setSpacing(Gap);
  Buttons->addStretch(1);
  Buttons->addWidget(FOKButton);
  Buttons->addWidget(FCancelButton);

  auto* Form = new QVBoxLayout(this);
  Form->setContentsMargins(8, 8, 8, 8);
  Form->setSpacing(0);
  Form->addWidget(FConnectionGroup);
  Form->addSpacing(Gap);
  Form->addWidget(FInputGroup);
  Form->addSpacing(ButtonGap);
  Form->addLayout(Buttons);
  Form->addStretch(1);
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
