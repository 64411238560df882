#include "suite/recorder/input_choice.h"

#include <optional>

#include "audio/device_source.h"
#include "config/sound_device.h"

namespace wavenard {

namespace {

// The list whose numbers DeviceIdx gives for a capture entry, as its rules select it.
std::optional<TDeviceList> ListOf(const TSoundDevice& AEntry) {
  switch (AEntry.Method) {
    case 0:
      return TDeviceList::Recording;
    case 1:
      return AEntry.DevType == TOutputDevType::odMixer ? TDeviceList::Wasapi : TDeviceList::Recording;
    case 2:
      return TDeviceList::Asio;
    default:
      return std::nullopt;
  }
}

}  // namespace

TInputChoice ChooseInput(const TSoundDevice& AEntry, TDeviceSource& ADevices) {
  TInputChoice Choice;
  if (AEntry.IsDefault() && (AEntry.Method == 0 || AEntry.Method == 1)) {
    return Choice;
  }
  const std::optional<TDeviceList> List = ListOf(AEntry);
  if (!List || (AEntry.DeviceID.isEmpty() && AEntry.DeviceName2.isEmpty())) {
    Choice.Note =
        QStringLiteral("No microphone is chosen in Wavenard's settings: recording from the default input.");
    return Choice;
  }
  const qint32 Number = AEntry.DeviceIdx(ADevices);
  TDeviceInfo Info;
  if (Number < 0 || !ADevices.GetDeviceInfo(*List, Number, Info)) {
    const QString Name = AEntry.DeviceName2.isEmpty() ? AEntry.DeviceID : AEntry.DeviceName2;
    Choice.Note =
        QStringLiteral("The microphone \"%1\" is not present: recording from the default input.").arg(Name);
    return Choice;
  }
  Choice.Id = Info.Id;
  Choice.Name = Info.Name;
  return Choice;
}

}  // namespace wavenard
