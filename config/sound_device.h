#pragma once

#include <QString>
#include <QtGlobal>

#include "audio/device_source.h"
#include "config/collection.h"
#include "config/property_table.h"

namespace wavenard {

// How a playback entry is driven.
enum class TOutputDevType { odMixer, odRegular, odNotUsed };

const TEnumNames& OutputDevTypeNames();

// One sound device the suite may use, a playback output or a capture input: the device named by
// its identifier and by its name, the audio back-end chosen by the method number, and channel
// settings. Only its two descendants are ever created.
class TSoundDevice : public TCollectionItem {
 public:
  // The identifiers that stand for no particular device; compared exactly, case included.
  static inline const QString DefaultDeviceID = QStringLiteral(":default");
  static inline const QString DecodeDeviceID = QStringLiteral(":decode");

  TOutputDevType DevType = TOutputDevType::odMixer;
  // 0 the regular lists, 1 WASAPI, 2 ASIO, -1 no sound; any other value selects no list.
  qint32 Method = 0;
  QString DeviceID;
  QString DeviceName2;
  qint32 Chan1 = 0;
  qint32 Chan2 = 0;
  QString Chan1Name;
  QString Chan2Name;
  bool EventDriven = false;

  // A display text for lists of devices; not persisted.
  QString DisplayName;

  bool IsDefault() const { return DeviceID == DefaultDeviceID; }
  // Assigning True selects the system's default device; False changes nothing.
  void SetIsDefault(bool AValue);
  bool IsNoSound() const;

  // The device's number in the list the entry selects, worked out afresh from ASource on every
  // call; a negative value when the entry selects no list or no listed device matches.
  qint32 DeviceIdx(TDeviceSource& ASource) const;

  static const TPropertyTable& SoundDeviceProperties();

 protected:
  TSoundDevice() = default;
};

// A capture entry.
class TInputDevice final : public TSoundDevice {
 public:
  TInputDevice() { Method = -1; }

  qint32 MixerSrc = 0;
  bool Stereo = false;
  bool KeepAlive = false;

  const TPropertyTable& PropertyTable() const override;
};

// A playback entry.
class TOutputDevice final : public TSoundDevice {
 public:
  TOutputDevice() = default;

  qint32 SampleFreq = 48000;
  quint32 Speakers = 0;
  qint32 BufSize = 500;
  bool Exclusive = false;

  // The suite's audio engine keeps its previous choice here; not persisted.
  qint32 PrvMethod = -1;
  qint32 PrvDeviceIdx = -1;
  qint32 PrvChan1 = -1;
  qint32 PrvChan2 = -1;
  TOutputDevType PrvDevType = TOutputDevType::odMixer;
  QString PrvDeviceID;

  const TPropertyTable& PropertyTable() const override;
};

class TInputDevicesList final : public TCollectionOf<TInputDevice> {};
class TOutputDevicesList final : public TCollectionOf<TOutputDevice> {};

}  // namespace wavenard
