#include "audio/multimedia/media_device_source.h"

#include <QAudioDevice>
#include <QMediaDevices>

namespace wavenard {

namespace {

TDeviceInfo InfoOf(const QAudioDevice& ADevice, quint32 AFlags) {
  TDeviceInfo Info;
  Info.Name = ADevice.description();
  Info.Id = QString::fromUtf8(ADevice.id());
  Info.Flags = AFlags;
  if (Info.Name.startsWith(QLatin1String("Monitor of"))) {
    Info.Flags |= DEVICE_LOOPBACK;
  }
  return Info;
}

}  // namespace

QList<TDeviceInfo> TMediaDeviceSource::ReadList(TDeviceList AList) {
  QList<TDeviceInfo> List;
  switch (AList) {
    case TDeviceList::Playback:
      for (const QAudioDevice& Device : QMediaDevices::audioOutputs()) {
        List.append(InfoOf(Device, DEVICE_ENABLED));
      }
      break;
    case TDeviceList::Recording:
      for (const QAudioDevice& Device : QMediaDevices::audioInputs()) {
        List.append(InfoOf(Device, DEVICE_ENABLED | DEVICE_INPUT));
      }
      break;
    case TDeviceList::Wasapi:
      List = ReadList(TDeviceList::Playback) + ReadList(TDeviceList::Recording);
      break;
    case TDeviceList::Asio:
      break;
  }
  return List;
}

bool TMediaDeviceSource::GetDeviceInfo(TDeviceList AList, int ANumber, TDeviceInfo& AInfo) {
  QList<TDeviceInfo>& List = FLists[static_cast<size_t>(AList)];
  if (ANumber == 0) {
    List = ReadList(AList);
  }
  if (ANumber < 0 || ANumber >= List.size()) {
    return false;
  }
  AInfo = List[ANumber];
  return true;
}

}  // namespace wavenard
