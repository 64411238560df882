#include "audio/capture_devices.h"

namespace wavenard {

bool IsCaptureEndpoint(const TDeviceInfo& AInfo) {
  return (AInfo.Flags & (DEVICE_INPUT | DEVICE_ENABLED | DEVICE_LOOPBACK)) == (DEVICE_INPUT | DEVICE_ENABLED);
}

void ListCaptureDevices(TDeviceSource& ASource, QList<TNumberedName>& ANames, QStringList& AIdentifiers) {
  AIdentifiers.clear();
  TDeviceInfo Info;
  for (int Number = 0; ASource.GetDeviceInfo(TDeviceList::Wasapi, Number, Info); ++Number) {
    if (IsCaptureEndpoint(Info)) {
      ANames.append({Info.Name, Number});
      AIdentifiers.append(Info.Id);
    }
  }
}

}  // namespace wavenard
