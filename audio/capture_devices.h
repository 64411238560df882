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

// Appends the enabled, non-loopback capture devices of the WASAPI list to ANames and puts their
// identifiers, index for index with the appended names, into AIdentifiers (emptied first).
void ListCaptureDevices(TDeviceSource& ASource, QList<TNumberedName>& ANames, QStringList& AIdentifiers);

}  // namespace wavenard
