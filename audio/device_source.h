#pragma once

#include <QString>
#include <QtGlobal>

namespace wavenard {

// Flags of a device in the WASAPI list.
constexpr quint32 DEVICE_ENABLED = 1;
constexpr quint32 DEVICE_LOOPBACK = 8;
constexpr quint32 DEVICE_INPUT = 16;

enum class TDeviceList { Playback, Recording, Wasapi, Asio };

struct TDeviceInfo {
  QString Name;
  // The driver string of the regular and ASIO lists, the endpoint identifier of the WASAPI list.
  QString Id;
  quint32 Flags = 0;
};

// The audio library's device lists: each numbers its devices from 0, and a device's
// identifier stays the same from one run to the next.
class TDeviceSource {
 public:
  virtual ~TDeviceSource() = default;
  // Fills AInfo for device ANumber of AList; false when there is no device of that number.
  virtual bool GetDeviceInfo(TDeviceList AList, int ANumber, TDeviceInfo& AInfo) = 0;
  virtual void SetUserAgent(const QString& AUserAgent) = 0;
};

}  // namespace wavenard
