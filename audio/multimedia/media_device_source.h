#pragma once

#include <QList>
#include <array>

#include "audio/device_source.h"

namespace wavenard {

// The device lists of the platform's multimedia layer: outputs as the playback list, inputs as
// the recording list, both together in the WASAPI list (a source whose description begins
// "Monitor of" captures what an output plays, so it carries the loopback flag), no ASIO list.
// A list is read afresh whenever device 0 is asked for, so a scan sees one consistent list.
class TMediaDeviceSource final : public TDeviceSource {
 public:
  bool GetDeviceInfo(TDeviceList AList, int ANumber, TDeviceInfo& AInfo) override;
  void SetUserAgent(const QString& AUserAgent) override { FUserAgent = AUserAgent; }
  const QString& UserAgent() const { return FUserAgent; }

 private:
  static QList<TDeviceInfo> ReadList(TDeviceList AList);

  std::array<QList<TDeviceInfo>, 4> FLists;
  QString FUserAgent;
};

}  // namespace wavenard
