#include <gtest/gtest.h>

#include <memory>

#include "config/sound_device.h"
#include "tests/config/qt_print.h"
#include "tests/testsupport/table_device_source.h"

namespace wavenard {
namespace {

constexpr quint32 CaptureEndpoint = DEVICE_INPUT | DEVICE_ENABLED;
constexpr quint32 PlaybackEndpoint = DEVICE_ENABLED;
constexpr quint32 LoopbackEndpoint = DEVICE_INPUT | DEVICE_ENABLED | DEVICE_LOOPBACK;

struct TEntryCase {
  const char* Name;
  bool Capture;
  qint32 Method;
  TOutputDevType DevType;
  QString DeviceID;
  QString DeviceName2;
  TDeviceList List;  // where Devices are listed
  QList<TDeviceInfo> Devices;
  qint32 Expected;
  bool AsksLibrary;
};

std::unique_ptr<TSoundDevice> MakeEntry(const TEntryCase& C) {
  std::unique_ptr<TSoundDevice> Entry;
  if (C.Capture) {
    Entry = std::make_unique<TInputDevice>();
  } else {
    Entry = std::make_unique<TOutputDevice>();
  }
  Entry->Method = C.Method;
  Entry->DevType = C.DevType;
  Entry->DeviceID = C.DeviceID;
  Entry->DeviceName2 = C.DeviceName2;
  return Entry;
}

TEST(TSoundDevice, DeviceIdxFindsTheEntrysDeviceInTheListItsMethodSelects) {
  using enum TOutputDevType;
  using L = TDeviceList;
  const QList<TDeviceInfo> Five = {
      {"Line In", "line"}, {"USB Mic", "usb"}, {"Headset", "hs"}, {"USB Mic", "usb2"}, {"Desk Mic", "desk"}};
  const TEntryCase Cases[] = {
      // Identifiers that need no list.
      {"capture :default", true, 1, odMixer, ":default", "", L::Recording, Five, 0, false},
      {"capture :default, method 0", true, 0, odMixer, ":default", "", L::Recording, Five, 0, false},
      {"playback :default", false, 1, odMixer, ":default", "", L::Playback, Five, 1, false},
      {"playback :decode, method 0", false, 0, odMixer, ":decode", "", L::Playback, Five, 0, false},
      {"playback :decode, unused", false, 1, odNotUsed, ":decode", "", L::Playback, Five, 0, false},
      {"method -2", true, -2, odMixer, "usb", "USB Mic", L::Recording, Five, -1, false},
      {"method -1", false, -1, odMixer, "usb", "USB Mic", L::Playback, Five, -1, false},
      {"unknown method", false, 3, odMixer, "usb", "USB Mic", L::Playback, Five, -1, false},
      // Scoring in the regular lists; names and identifiers ignore case.
      {"identifier only", true, 0, odMixer, "HS", "", L::Recording, Five, 2, true},
      {"name only", true, 0, odMixer, "gone", "desk mic", L::Recording, Five, 4, true},
      {"identifier 2, name 4: the name wins", true, 0, odMixer, "hs", "Desk Mic", L::Recording, Five, 4,
       true},
      {"names 1 and 3: the last wins", true, 0, odMixer, "gone", "USB Mic", L::Recording, Five, 3, true},
      {"identifier 0, both 2: both win",
       false,
       0,
       odMixer,
       "line",
       "Headset",
       L::Playback,
       {{"Line In", "line"}, {"Other", "x"}, {"Headset", "line"}, {"Headset", "y"}},
       2,
       true},
      {"identifiers 1 and 3: the first wins",
       false,
       0,
       odMixer,
       "same",
       "",
       L::Playback,
       {{"A", "a"}, {"B", "same"}, {"C", "c"}, {"D", "same"}},
       1,
       true},
      {"regular playback for odRegular with method 1", false, 1, odRegular, "hs", "", L::Playback, Five, 2,
       true},
      {"regular recording for odNotUsed with method 1", true, 1, odNotUsed, "hs", "", L::Recording, Five, 2,
       true},
      {"recording not found", true, 0, odMixer, "gone", "Gone", L::Recording, Five, -2, true},
      {"playback not found", false, 0, odMixer, "gone", "Gone", L::Playback, Five, -1, true},
      {"capture :decode is scanned",
       true,
       0,
       odMixer,
       ":decode",
       "",
       L::Recording,
       {{"Decode", ":DECODE"}},
       0,
       true},
      // ASIO.
      {"asio by name", false, 2, odRegular, "", "Headset", L::Asio, Five, 2, true},
      {"asio not found", true, 2, odMixer, "gone", "Gone", L::Asio, Five, -1, true},
      // WASAPI and its filter; device numbers count the rejected devices too.
      {"wasapi capture",
       true,
       1,
       odMixer,
       "{mic}",
       "",
       L::Wasapi,
       {{"Out", "{mic}", PlaybackEndpoint},
        {"Loop", "{mic}", LoopbackEndpoint},
        {"Mic", "{mic}", CaptureEndpoint}},
       2,
       true},
      {"wasapi capture names a playback endpoint",
       true,
       1,
       odMixer,
       "{out}",
       "",
       L::Wasapi,
       {{"Out", "{out}", PlaybackEndpoint}, {"Mic", "{mic}", CaptureEndpoint}},
       -3,
       true},
      {"wasapi capture names a loopback endpoint",
       true,
       1,
       odMixer,
       "{loop}",
       "Loop",
       L::Wasapi,
       {{"Loop", "{loop}", LoopbackEndpoint}},
       -3,
       true},
      {"wasapi capture names a disabled endpoint",
       true,
       1,
       odMixer,
       "{mic}",
       "",
       L::Wasapi,
       {{"Mic", "{mic}", DEVICE_INPUT}},
       -3,
       true},
      {"wasapi playback",
       false,
       1,
       odMixer,
       "{out}",
       "",
       L::Wasapi,
       {{"Mic", "{out}", CaptureEndpoint}, {"Out", "{out}", PlaybackEndpoint}},
       1,
       true},
      {"wasapi playback not found",
       false,
       1,
       odMixer,
       "{gone}",
       "",
       L::Wasapi,
       {{"Out", "{out}", PlaybackEndpoint}},
       -1,
       true},
      {":Default is not the default", true, 1, odMixer, ":Default", "", L::Wasapi, {}, -3, true},
  };
  for (const TEntryCase& C : Cases) {
    test::TTableDeviceSource Source;
    Source.List(C.List) = C.Devices;
    const std::unique_ptr<TSoundDevice> Entry = MakeEntry(C);
    EXPECT_EQ(Entry->DeviceIdx(Source), C.Expected) << C.Name;
    EXPECT_EQ(Source.Calls > 0, C.AsksLibrary) << C.Name;
  }
}

TEST(TSoundDevice, DeviceIdxIsWorkedOutAfreshOnEveryRead) {
  test::TTableDeviceSource Source;
  Source.List(TDeviceList::Recording) = {{"Mic", "mic"}};
  TInputDevice Entry;
  Entry.Method = 0;
  Entry.DeviceID = "mic";
  EXPECT_EQ(Entry.DeviceIdx(Source), 0);
  Source.List(TDeviceList::Recording).prepend({"New", "new"});
  EXPECT_EQ(Entry.DeviceIdx(Source), 1);
  Source.List(TDeviceList::Recording).clear();
  EXPECT_EQ(Entry.DeviceIdx(Source), -2);
}

TEST(TSoundDevice, IsNoSoundAndIsDefault) {
  const struct {
    qint32 Method;
    QString DeviceID;
    bool NoSound;
    bool Default;
  } Cases[] = {
      {-1, "", true, false},        {-1, ":default", true, true},  {0, ":decode", true, false},
      {0, ":Decode", false, false}, {1, ":decode", false, false},  {-2, "", false, false},
      {0, ":default", false, true}, {0, ":Default", false, false}, {2, "asio", false, false},
  };
  for (const auto& C : Cases) {
    TOutputDevice Entry;
    Entry.Method = C.Method;
    Entry.DeviceID = C.DeviceID;
    EXPECT_EQ(Entry.IsNoSound(), C.NoSound) << C.Method << " " << C.DeviceID.toStdString();
    EXPECT_EQ(Entry.IsDefault(), C.Default) << C.Method << " " << C.DeviceID.toStdString();
  }

  TInputDevice Entry;
  Entry.DeviceID = "mic";
  Entry.SetIsDefault(false);
  EXPECT_EQ(Entry.DeviceID, "mic");
  Entry.SetIsDefault(true);
  EXPECT_EQ(Entry.DeviceID, ":default");
}

}  // namespace
}  // namespace wavenard
