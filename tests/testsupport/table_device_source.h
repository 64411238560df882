#pragma once

#include <array>

#include "audio/device_source.h"

namespace wavenard::test {

// Device lists given by the test; counts how often the library was asked.
class TTableDeviceSource final : public TDeviceSource {
 public:
  std::array<QList<TDeviceInfo>, 4> Lists;
  int Calls = 0;
  QString UserAgent;

  QList<TDeviceInfo>& List(TDeviceList AList) { return Lists[static_cast<size_t>(AList)]; }
  bool GetDeviceInfo(TDeviceList AList, int ANumber, TDeviceInfo& AInfo) override {
    ++Calls;
    const QList<TDeviceInfo>& Devices = List(AList);
    if (ANumber < 0 || ANumber >= Devices.size()) {
      return false;
    }
    AInfo = Devices[ANumber];
    return true;
  }
  void SetUserAgent(const QString& AUserAgent) override { UserAgent = AUserAgent; }
};

}  // namespace wavenard::test
