#include "audio/capture_devices.h"

namespace wavenard {

void ListCaptureDevices(TDeviceSource& ASource, QList<TNumberedName>& ANames, QStringList& AIdentifiers) {
  AIdentifiers.clear();
  TDeviceInfo Info;
  for (int Number = 0; ASource.GetDeviceInfo(TDeviceList::Wasapi, Number, Info); ++Number) {
    const bool Admitted = (Info.Flags & DEVICE_INPUT) != 0 && (Info.Flags & DEVICE_ENABLED) != 0 &&
                          (Info.Flags & DEVICE_LOOPBACK) == 0;
    if (Admitted) {
      ANames.append({Info.Name, Number});
      AIdentifiers.append(Info.Id);
    }
  }
}

}  // namespace wavenard
