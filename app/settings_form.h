#pragma once

#include <QDialog>
#include <QStringList>

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace wavenard {

class TDeviceSource;
class TSettings;
class TSystemIni;

// The connection settings and the microphone. The controls hold the edited values until OK,
// which writes both records back and saves the system settings; Cancel takes nothing over.
class TSettingsFrm final : public QDialog {
  Q_OBJECT

 public:
  TSettingsFrm(TSettings& ASettings, TSystemIni& ASystemIni, TDeviceSource& ADevices,
               QWidget* AParent = nullptr);
  Q_DISABLE_COPY_MOVE(TSettingsFrm)

  QLineEdit& edServer() { return *FServerEdit; }
  QSpinBox& nbPort() { return *FPortBox; }
  QLineEdit& edUser() { return *FUserEdit; }
  QLineEdit& edPass() { return *FPassEdit; }
  QComboBox& cbInput() { return *FInputBox; }
  QPushButton& btOK() { return *FOKButton; }
  QPushButton& btCancel() { return *FCancelButton; }
  // The device identifiers, entry i belonging to entry i of cbInput.
  const QStringList& DeviceIds() const { return FDeviceIds; }

 protected:
  void showEvent(QShowEvent* AEvent) override;

 private:
  void FormShow();
  void FillInputDevices();
  void btOKClick();

  TSettings& FSettings;
  TSystemIni& FSystemIni;
  TDeviceSource& FDevices;
  QStringList FDeviceIds;
  bool FShown = false;

  QGroupBox* FConnectionGroup = nullptr;
  QLineEdit* FServerEdit = nullptr;
  QSpinBox* FPortBox = nullptr;
  QLineEdit* FUserEdit = nullptr;
  QLineEdit* FPassEdit = nullptr;
  QGroupBox* FInputGroup = nullptr;
  QComboBox* FInputBox = nullptr;
  QPushButton* FOKButton = nullptr;
  QPushButton* FCancelButton = nullptr;
};

// Shows the dialog modally, centred on ACentreOn when given, and frees it when it has closed.
void ShowSettings(TSettings& ASettings, TSystemIni& ASystemIni, TDeviceSource& ADevices, QWidget* ACentreOn);

}  // namespace wavenard
