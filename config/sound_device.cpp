#include "config/sound_device.h"

#include "audio/capture_devices.h"

namespace wavenard {

namespace {

bool SameText(const QString& A, const QString& B) {
  return QString::compare(A, B, Qt::CaseInsensitive) == 0;
}

using TDeviceFilter = bool (*)(const TDeviceInfo&);

bool AdmitPlaybackEndpoint(const TDeviceInfo& AInfo) {
  return (AInfo.Flags & (DEVICE_INPUT | DEVICE_ENABLED | DEVICE_LOOPBACK)) == DEVICE_ENABLED;
}

// A device matching both keys wins at once; otherwise the last match by name wins over any match
// by identifier, and among matches by identifier the first one wins.
qint32 ScanList(TDeviceSource& ASource, TDeviceList AList, TDeviceFilter AFilter, const TSoundDevice& AEntry,
                qint32 ANotFound) {
  qint32 Result = ANotFound;
  TDeviceInfo Info;
  for (int Number = 0; ASource.GetDeviceInfo(AList, Number, Info); ++Number) {
    if (AFilter != nullptr && !AFilter(Info)) {
      continue;
    }
    const int Score =
        (SameText(AEntry.DeviceID, Info.Id) ? 1 : 0) + (SameText(AEntry.DeviceName2, Info.Name) ? 2 : 0);
    if (Score == 3) {
      return Number;
    }
    if (Score == 2 || (Score == 1 && Result < 0)) {
      Result = Number;
    }
  }
  return Result;
}

}  // namespace

const TEnumNames& OutputDevTypeNames() {
  static const TEnumNames Names{QStringLiteral("odMixer"), QStringLiteral("odRegular"),
                                QStringLiteral("odNotUsed")};
  return Names;
}

void TSoundDevice::SetIsDefault(bool AValue) {
  if (AValue) {
    DeviceID = DefaultDeviceID;
  }
}

bool TSoundDevice::IsNoSound() const {
  return Method == -1 || (Method == 0 && DeviceID == DecodeDeviceID);
}

qint32 TSoundDevice::DeviceIdx(TDeviceSource& ASource) const {
  const bool Capture = dynamic_cast<const TInputDevice*>(this) != nullptr;
  if (Method == 2) {
    return ScanList(ASource, TDeviceList::Asio, nullptr, *this, -1);
  }
  if ((Method == 0 || Method == 1) && (DevType != TOutputDevType::odMixer || Method == 0 || IsDefault())) {
    if (IsDefault()) {
      return Capture ? 0 : 1;
    }
    if (!Capture && DeviceID == DecodeDeviceID) {
      return 0;
    }
    return Capture ? ScanList(ASource, TDeviceList::Recording, nullptr, *this, -2)
                   : ScanList(ASource, TDeviceList::Playback, nullptr, *this, -1);
  }
  if (Method == 1) {
    return Capture ? ScanList(ASource, TDeviceList::Wasapi, IsCaptureEndpoint, *this, -3)
                   : ScanList(ASource, TDeviceList::Wasapi, AdmitPlaybackEndpoint, *this, -1);
  }
  return -1;
}

const TPropertyTable& TSoundDevice::SoundDeviceProperties() {
  static const TPropertyTable Table(
      QStringLiteral("TSoundDevice"), nullptr,
      {
          EnumProperty(QStringLiteral("DevType"), Field(&TSoundDevice::DevType), OutputDevTypeNames()),
          IntegerProperty(QStringLiteral("Method"), Field(&TSoundDevice::Method)),
          StringProperty(QStringLiteral("DeviceID"), Field(&TSoundDevice::DeviceID)),
          StringProperty(QStringLiteral("DeviceName2"), Field(&TSoundDevice::DeviceName2)),
          IntegerProperty(QStringLiteral("Chan1"), Field(&TSoundDevice::Chan1)).Default(0),
          IntegerProperty(QStringLiteral("Chan2"), Field(&TSoundDevice::Chan2)).Default(0),
          StringProperty(QStringLiteral("Chan1Name"), Field(&TSoundDevice::Chan1Name)),
          StringProperty(QStringLiteral("Chan2Name"), Field(&TSoundDevice::Chan2Name)),
          BooleanProperty(QStringLiteral("EventDriven"), Field(&TSoundDevice::EventDriven)).Default(0),
      });
  return Table;
}

const TPropertyTable& TInputDevice::PropertyTable() const {
  static const TPropertyTable Table(
      QStringLiteral("TInputDevice"), &SoundDeviceProperties(),
      {
          IntegerProperty(QStringLiteral("MixerSrc"), Field(&TInputDevice::MixerSrc)),
          BooleanProperty(QStringLiteral("Stereo"), Field(&TInputDevice::Stereo)),
          BooleanProperty(QStringLiteral("KeepAlive"), Field(&TInputDevice::KeepAlive)),
      });
  return Table;
}

const TPropertyTable& TOutputDevice::PropertyTable() const {
  static const TPropertyTable Table(
      QStringLiteral("TOutputDevice"), &SoundDeviceProperties(),
      {
          IntegerProperty(QStringLiteral("SampleFreq"), Field(&TOutputDevice::SampleFreq)),
          IntegerProperty(QStringLiteral("Speakers"), Field(&TOutputDevice::Speakers)).Default(0),
          IntegerProperty(QStringLiteral("BufSize"), Field(&TOutputDevice::BufSize)),
          BooleanProperty(QStringLiteral("Exclusive"), Field(&TOutputDevice::Exclusive)).Default(0),
      });
  return Table;
}

}  // namespace wavenard
