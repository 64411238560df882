#pragma once

#include <QString>

namespace wavenard {

class TDeviceSource;
class TSoundDevice;

// The capture device the recorder uses for a microphone entry of the system settings.
struct TInputChoice {
  // The device's identifier; empty for the system's default input.
  QString Id;
  // The device's name; empty for the system's default input.
  QString Name;
  // Why the default input stands in for the chosen microphone; empty when it does not.
  QString Note;
};

// Finds AEntry's device the way the suite's audio engine does: by DeviceIdx in the list the
// entry selects (Method 0 the recording list, Method 1 the WASAPI capture devices). ":default"
// is the system's default input. An entry that selects no list or no present device gives the
// default input with a note that says why.
TInputChoice ChooseInput(const TSoundDevice& AEntry, TDeviceSource& ADevices);

}  // namespace wavenard
