#include <gtest/gtest.h>

#include "audio/capture_devices.h"
#include "audio/multimedia/media_device_source.h"
#include "tests/testsupport/table_device_source.h"

namespace wavenard {
namespace {

constexpr quint32 Capture = DEVICE_INPUT | DEVICE_ENABLED;

TEST(ListCaptureDevices, AdmitsEnabledCaptureDevicesOnlyWithTheirNumbers) {
  test::TTableDeviceSource Source;
  Source.List(TDeviceList::Wasapi) = {
      {"Speakers", "{out}", DEVICE_ENABLED},
      {"Microphone", "{mic-1}", Capture},
      {"Monitor of Speakers", "{loop}", Capture | DEVICE_LOOPBACK},
      {"Line In", "{off}", DEVICE_INPUT},
      {"Microphone", "{mic-2}", Capture},
  };
  QList<TNumberedName> Names;
  QStringList Ids{"stale"};
  ListCaptureDevices(Source, Names, Ids);
  EXPECT_EQ(Names, (QList<TNumberedName>{{"Microphone", 1}, {"Microphone", 4}}));
  EXPECT_EQ(Ids, QStringList({"{mic-1}", "{mic-2}"}));
}

TEST(ListCaptureDevices, WithoutCaptureDevicesEmptiesTheIdentifiersAndKeepsTheNames) {
  test::TTableDeviceSource Source;
  Source.List(TDeviceList::Wasapi) = {{"Speakers", "{out}", DEVICE_ENABLED}};
  QList<TNumberedName> Names{{"kept", 7}};
  QStringList Ids{"a", "b"};
  ListCaptureDevices(Source, Names, Ids);
  EXPECT_EQ(Names, (QList<TNumberedName>{{"kept", 7}}));
  EXPECT_TRUE(Ids.isEmpty());
}

TEST(TMediaDeviceSource, ListsWhateverThePlatformHasWithoutFailing) {
  TMediaDeviceSource Source;
  Source.SetUserAgent("Wavenard/1");
  TDeviceInfo Info;
  int Count = 0;
  while (Source.GetDeviceInfo(TDeviceList::Wasapi, Count, Info)) {
    EXPECT_FALSE(Info.Id.isEmpty());
    ++Count;
  }
  EXPECT_FALSE(Source.GetDeviceInfo(TDeviceList::Asio, 0, Info));
  EXPECT_EQ(Source.UserAgent(), "Wavenard/1");
}

}  // namespace
}  // namespace wavenard
