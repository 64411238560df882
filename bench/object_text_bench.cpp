#include <benchmark/benchmark.h>

#include <array>

#include "config/collection.h"
#include "config/component.h"
#include "config/object_text.h"
#include "config/property_table.h"

namespace wavenard {
namespace {

class TBenchDevice final : public TCollectionItem {
 public:
  qint32 DevType = 0;
  qint32 Method = -1;
  QString DeviceID = QStringLiteral(":default");
  QString DeviceName = QStringLiteral("Speakers (High Definition Audio Device)");
  qint32 Chan1 = 0;
  bool Stereo = true;
  bool KeepAlive = false;

  const TPropertyTable& PropertyTable() const override {
    static const TPropertyTable Table(
        QStringLiteral("TBenchDevice"), nullptr,
        {
            EnumProperty(
                QStringLiteral("DevType"), Field(&TBenchDevice::DevType),
                {QStringLiteral("odMixer"), QStringLiteral("odRegular"), QStringLiteral("odNotUsed")}),
            IntegerProperty(QStringLiteral("Method"), Field(&TBenchDevice::Method)),
            StringProperty(QStringLiteral("DeviceID"), Field(&TBenchDevice::DeviceID)),
            StringProperty(QStringLiteral("DeviceName2"), Field(&TBenchDevice::DeviceName)),
            IntegerProperty(QStringLiteral("Chan1"), Field(&TBenchDevice::Chan1)).Default(0),
            BooleanProperty(QStringLiteral("Stereo"), Field(&TBenchDevice::Stereo)),
            BooleanProperty(QStringLiteral("KeepAlive"), Field(&TBenchDevice::KeepAlive)),
        });
    return Table;
  }
};

class TBenchDevices final : public TCollectionOf<TBenchDevice> {};

// A record the size of the player settings: about 300 properties, string lists and collections.
class TBenchRecord final : public TComponent {
 public:
  static constexpr int IntegerCount = 100;
  static constexpr int FlagCount = 100;
  static constexpr int TextCount = 70;
  static constexpr int FloatCount = 20;

  TBenchRecord() {
    for (int I = 0; I < IntegerCount; ++I) {
      Integers[I] = I * 37 - 500;
    }
    for (int I = 0; I < FlagCount; ++I) {
      Flags[I] = I % 3 == 0;
    }
    for (int I = 0; I < TextCount; ++I) {
      Texts[I] = QStringLiteral("C:\\Program Files\\Station\\Value number %1").arg(I);
    }
    for (int I = 0; I < FloatCount; ++I) {
      Floats[I] = I * 0.37 - 2;
    }
    for (int I = 0; I < 10; ++I) {
      Separators.append(QStringLiteral("sep%1").arg(I));
    }
    for (TBenchDevices* Devices : {&Outputs, &Inputs, &Others}) {
      for (int I = 0; I < 7; ++I) {
        Devices->Add().Method = I - 1;
      }
    }
  }

  std::array<qint32, IntegerCount> Integers{};
  std::array<bool, FlagCount> Flags{};
  std::array<QString, TextCount> Texts;
  std::array<double, FloatCount> Floats{};
  QStringList Separators;
  TBenchDevices Outputs;
  TBenchDevices Inputs;
  TBenchDevices Others;

  const TPropertyTable& PropertyTable() const override {
    static const TPropertyTable Table = BuildTable();
    return Table;
  }

 private:
  template <class V, size_t N>
  static TAccessor<TBenchRecord, V> Element(std::array<V, N> TBenchRecord::*AArray, int AIndex) {
    return {
        [AArray, AIndex](const TBenchRecord& ARecord) { return (ARecord.*AArray)[AIndex]; },
        [AArray, AIndex](TBenchRecord& ARecord, V AValue) { (ARecord.*AArray)[AIndex] = std::move(AValue); }};
  }

  static TPropertyTable BuildTable() {
    std::vector<TPropertyInfo> Properties;
    for (int I = 0; I < IntegerCount; ++I) {
      Properties.push_back(
          IntegerProperty(QStringLiteral("IntegerValue%1").arg(I), Element(&TBenchRecord::Integers, I)));
    }
    for (int I = 0; I < FlagCount; ++I) {
      Properties.push_back(
          BooleanProperty(QStringLiteral("FlagValue%1").arg(I), Element(&TBenchRecord::Flags, I)));
    }
    for (int I = 0; I < TextCount; ++I) {
      Properties.push_back(
          StringProperty(QStringLiteral("TextValue%1").arg(I), Element(&TBenchRecord::Texts, I)));
    }
    for (int I = 0; I < FloatCount; ++I) {
      Properties.push_back(
          FloatProperty(QStringLiteral("FloatValue%1").arg(I), Element(&TBenchRecord::Floats, I)));
    }
    Properties.push_back(StringListProperty(QStringLiteral("Separators"), &TBenchRecord::Separators));
    Properties.push_back(CollectionProperty(QStringLiteral("Outputs"), &TBenchRecord::Outputs));
    Properties.push_back(CollectionProperty(QStringLiteral("Inputs"), &TBenchRecord::Inputs));
    Properties.push_back(CollectionProperty(QStringLiteral("Others"), &TBenchRecord::Others));
    return TPropertyTable(QStringLiteral("TBenchRecord"), &ComponentProperties(), std::move(Properties));
  }
};

void BM_WriteObjectText(benchmark::State& AState) {
  const TBenchRecord Record;
  for (auto _ : AState) {
    benchmark::DoNotOptimize(WriteObjectText(Record));
  }
  AState.counters["bytes"] = static_cast<double>(WriteObjectText(Record).size());
}
BENCHMARK(BM_WriteObjectText)->Unit(benchmark::kMicrosecond);

void BM_ReadObjectText(benchmark::State& AState) {
  const QByteArray Text = WriteObjectText(TBenchRecord());
  TBenchRecord Record;
  for (auto _ : AState) {
    ReadObjectText(Text, Record);
  }
}
BENCHMARK(BM_ReadObjectText)->Unit(benchmark::kMicrosecond);

void BM_WriteAndReadBack(benchmark::State& AState) {
  const TBenchRecord Source;
  TBenchRecord Target;
  for (auto _ : AState) {
    ReadObjectText(WriteObjectText(Source), Target);
  }
}
BENCHMARK(BM_WriteAndReadBack)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace wavenard

BENCHMARK_MAIN();
