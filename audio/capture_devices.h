#pragma once

#include <QList>
#include <QStringList>

#include "audio/device_source.h"

namespace wavenard {

// A device name for the user to pick from, carrying the device's number in the WASAPI list.
struct TNumberedName {
  QString Name;
  int Number = 0;
  bool operator==(const TNumberedName&) const = default;
};

// A device of the WASAPI list that can be recorded from: an enabled capture device that is not
// the loopback of an output.
bool IsCaptureEndpoint(const TDeviceInfo& AInfo);

// Appends the enabled, non-loopback capture devices of the WASAPI list to ANames and puts their
// identifiers, index for index with the appended names, into AIdentifiers (emptied first).
void ListCaptureDevices(TDeviceSource& ASource, QList<TNumberedName>& ANames, QStringList& AIdentifiers);

}  // namespace wavenard
