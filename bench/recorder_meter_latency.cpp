// How soon the recorder's level meter shows a sound: from the moment a tone enters the capture
// source to the moment the meter paints a level above Threshold, over a number of steps from
// silence to tone. The source is a pipe into a PulseAudio server of the program's own, fed by
// this program at the pace of the clock, so nothing but the server stands between a write and
// the capture. The recorder window listens to it as it does before Record (its level monitor,
// read on the meter's tick), offscreen. A second capture stream of the program's own, asking for
// the same buffer, shows how much of the time passes before the sound reaches a capture stream
// at all.
//   recorder_meter_latency [steps] [--through-sink] [--no-probe]
// --through-sink plays the sound into a null sink with a small-latency stream instead, and the
// window listens to a source that hears that sink, as the sound test's microphone does: the
// sink's latency is then part of every figure, which is an upper bound.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QApplication>
#include <QAudioDevice>
#include <QAudioSource>
#include <QFile>
#include <QLabel>
#include <QMediaDevices>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>
#include <optional>
#include <random>
#include <thread>
#include <vector>

#include "suite/recorder/input_choice.h"
#include "suite/recorder/level_meter.h"
#include "suite/recorder/recorder_window.h"
#include "suite/recorder/recording.h"
#include "support/message_box.h"
#include "tests/testsupport/sound_server.h"

namespace {

using namespace wavenard;
using Clock = std::chrono::steady_clock;

constexpr int Rate = 48000;
// The tone is at half of full scale, −6 dBFS; silence is digital silence.
constexpr double ToneAmplitude = 0.5;
constexpr double ToneFrequency = 1000;
constexpr double Threshold = -20;
// What the writer hands over at a time.
constexpr int BlockFrames = Rate / 500;
constexpr int BlockBytes = BlockFrames * 2;
constexpr auto BlockTime = std::chrono::microseconds(1000000 * BlockFrames / Rate);
// More than this unread in the pipe and a block is left out: what is written must not queue
// behind a backlog (a pipe holds most of a second of this sound), or the figures would measure
// the queue. Writes closer together than this are one hand-over.
constexpr int MaxUnreadBytes = 5 * BlockBytes;
constexpr auto HandOverGap = std::chrono::milliseconds(2);
// A step that gets no further for this long has failed.
constexpr auto StepTimeout = std::chrono::seconds(10);
constexpr double TargetMs = 100;
const QString DeviceName = QStringLiteral("Latency_Microphone");

qint64 Nanoseconds(Clock::time_point ATime) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(ATime.time_since_epoch()).count();
}

double MillisecondsSince(qint64 AOnset, Clock::time_point ANow) {
  return double(Nanoseconds(ANow) - AOnset) / 1e6;
}

// Writes mono 16-bit sound into a pipe at the pace of the clock: silence, or the tone while it is
// asked for. Onset() is the time just before the first block of each tone was written; 0 until
// then. A block is left out while the reader is behind.
class TSoundWriter {
 public:
  explicit TSoundWriter(int AFd) : FFd(AFd), FThread([this] { Run(); }) {}
  ~TSoundWriter() {
    FStop = true;
    FThread.join();
  }
  TSoundWriter(const TSoundWriter&) = delete;
  TSoundWriter& operator=(const TSoundWriter&) = delete;

  void StartTone() {
    FOnset = 0;
    FTone = true;
  }
  void StopTone() { FTone = false; }
  qint64 Onset() const { return FOnset; }
  bool Failed() const { return FFailed; }
  int LeftOut() const { return FLeftOut; }

 private:
  void Run() {
    std::vector<qint16> Block(BlockFrames);
    double Phase = 0;
    bool Sounding = false;
    Clock::time_point Due = Clock::now();
    while (!FStop) {
      int Unread = 0;
      if (ioctl(FFd, FIONREAD, &Unread) == 0 && Unread > MaxUnreadBytes) {
        ++FLeftOut;
        Due += BlockTime;
        std::this_thread::sleep_until(Due);
        continue;
      }
      const bool Tone = FTone;
      for (qint16& Sample : Block) {
        Sample = Tone ? qint16(std::lround(ToneAmplitude * 32767 * std::sin(Phase))) : qint16(0);
        Phase = std::fmod(Phase + 2 * std::numbers::pi * ToneFrequency / Rate, 2 * std::numbers::pi);
      }
      if (Tone && !Sounding) {
        FOnset = Nanoseconds(Clock::now());
      }
      Sounding = Tone;
      const auto* Data = reinterpret_cast<const char*>(Block.data());
      size_t Left = Block.size() * sizeof(qint16);
      while (Left > 0) {
        const ssize_t Written = write(FFd, Data, Left);
        if (Written < 0) {
          FFailed = true;
          return;
        }
        Data += Written;
        Left -= size_t(Written);
      }
      Due += BlockTime;
      // Far behind (the machine was busy): carry on from now rather than rushing the backlog in.
      if (Clock::now() - Due > std::chrono::milliseconds(50)) {
        Due = Clock::now();
      }
      std::this_thread::sleep_until(Due);
    }
  }

  const int FFd;
  std::atomic<bool> FStop{false};
  std::atomic<bool> FTone{false};
  std::atomic<qint64> FOnset{0};
  std::atomic<bool> FFailed{false};
  std::atomic<int> FLeftOut{0};
  std::thread FThread;
};

// A capture stream beside the recorder's: notes when the tone first reaches it, and how often
// and how much sound it is handed.
class TProbe final : public QIODevice {
 public:
  explicit TProbe(const TSoundWriter& AWriter) : FWriter(AWriter) { open(QIODevice::WriteOnly); }

  // Milliseconds from the onset to the arrival, for the tone now sounding; negative until it came.
  double Arrival() const { return FArrival; }
  void Expect() { FArrival = -1; }
  // Milliseconds between the starts of two hand-overs, and milliseconds of sound in each.
  const std::vector<double>& Gaps() const { return FGaps; }
  const std::vector<double>& Pieces() const { return FPieces; }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* AData, qint64 ASize) override {
    const Clock::time_point Now = Clock::now();
    if (FLast && Now - *FLast < HandOverGap) {
      FPieces.back() += double(ASize) * 1000 / (Rate * 2);
    } else {
      if (FStart) {
        FGaps.push_back(std::chrono::duration<double, std::milli>(Now - *FStart).count());
      }
      FStart = Now;
      FPieces.push_back(double(ASize) * 1000 / (Rate * 2));
    }
    FLast = Now;
    const qint64 Onset = FWriter.Onset();
    if (FArrival < 0 && Onset != 0) {
      const int Limit = int(32768 * std::pow(10.0, Threshold / 20));
      for (qint64 Offset = 0; Offset + 1 < ASize; Offset += 2) {
        qint16 Sample = 0;
        std::memcpy(&Sample, AData + Offset, sizeof Sample);
        if (std::abs(int{Sample}) > Limit) {
          FArrival = MillisecondsSince(Onset, Now);
          break;
        }
      }
    }
    return ASize;
  }

 private:
  const TSoundWriter& FWriter;
  std::atomic<double> FArrival{-1};
  std::optional<Clock::time_point> FStart;
  std::optional<Clock::time_point> FLast;
  std::vector<double> FGaps;
  std::vector<double> FPieces;
};

class TSilentBoxes final : public TBoxPresenter {
 protected:
  int Present(const TBoxRequest&) override { return IDOK; }
};

struct TFigures {
  double Median = 0;
  double Worst = 0;
  double Best = 0;
};

TFigures FiguresOf(std::vector<double> AValues) {
  if (AValues.empty()) {
    return {};
  }
  std::sort(AValues.begin(), AValues.end());
  const size_t Count = AValues.size();
  const double Median =
      Count % 2 == 1 ? AValues[Count / 2] : (AValues[Count / 2 - 1] + AValues[Count / 2]) / 2;
  return {Median, AValues.back(), AValues.front()};
}

// Runs the steps: waits for the meter to show silence, lets the tone start after a pause of its
// own length (so the onsets fall anywhere in the meter's tick), and takes the time when a paint
// shows it; the first step only warms the path up.
class TStepper final : public QObject {
 public:
  TStepper(TLevelMeter& AMeter, TSoundWriter& AWriter, TProbe* AProbe, int ASteps)
      : FMeter(AMeter), FWriter(AWriter), FProbe(AProbe), FSteps(ASteps) {
    FMeter.installEventFilter(this);
    FWatch.setInterval(100);
    connect(&FWatch, &QTimer::timeout, this, [this] {
      if (FWriter.Failed()) {
        Fail("the sound could not be written into the source");
      } else if (Clock::now() - FSince > StepTimeout) {
        Fail(FPhase == TPhase::Waiting ? "the meter showed no tone within 10 s"
                                       : "the meter showed no silence within 10 s");
      }
    });
    FWatch.start();
  }

  std::vector<double> ToScreen;
  std::vector<double> ToStream;
  QString Failure;
  // Blocks left out until the path was warm: while the streams were being connected.
  int LeftOutBefore = 0;

 protected:
  bool eventFilter(QObject* AObject, QEvent* AEvent) override {
    if (AObject == &FMeter && AEvent->type() == QEvent::Paint) {
      Painted(Clock::now());
    }
    return false;
  }

 private:
  enum class TPhase { Quiet, Pausing, Waiting };

  void Painted(Clock::time_point ANow) {
    const double Level = FMeter.Level();
    const qint64 Onset = FWriter.Onset();
    if (FPhase == TPhase::Waiting && Onset != 0 && Level > Threshold) {
      FWriter.StopTone();
      if (FStep > 0) {
        ToScreen.push_back(MillisecondsSince(Onset, ANow));
      } else {
        LeftOutBefore = FWriter.LeftOut();
      }
      ++FStep;
      Enter(TPhase::Quiet);
    } else if (FPhase == TPhase::Quiet && Level < Threshold) {
      // The probe may have been handed the tone after the meter showed it.
      if (FProbe != nullptr && FStep > 1 && FProbe->Arrival() >= 0) {
        ToStream.push_back(FProbe->Arrival());
      }
      if (FStep > FSteps) {
        QApplication::quit();
        return;
      }
      Enter(TPhase::Pausing);
      QTimer::singleShot(std::uniform_int_distribution<int>(150, 450)(FRandom), this, [this] {
        if (FProbe != nullptr) {
          FProbe->Expect();
        }
        Enter(TPhase::Waiting);
        FWriter.StartTone();
      });
    }
  }

  void Enter(TPhase APhase) {
    FPhase = APhase;
    FSince = Clock::now();
  }

  void Fail(const QString& AWhy) {
    Failure = AWhy;
    QApplication::quit();
  }

  TLevelMeter& FMeter;
  TSoundWriter& FWriter;
  TProbe* const FProbe;
  const int FSteps;
  int FStep = 0;
  TPhase FPhase = TPhase::Quiet;
  Clock::time_point FSince = Clock::now();
  std::mt19937 FRandom{20261210};
  QTimer FWatch;
};

QString LoadAverage() {
  QFile File(QStringLiteral("/proc/loadavg"));
  if (!File.open(QIODevice::ReadOnly)) {
    return QStringLiteral("unknown");
  }
  return QString::fromLatin1(File.readLine()).section(QLatin1Char(' '), 0, 2);
}

// What the server says of the source's latency: "Latency: 0 usec, configured 42666 usec".
QString SourceLatency(const test::TSoundServer& AServer) {
  const std::optional<QString> Sources = AServer.Pactl({"list", "sources"});
  if (!Sources) {
    return QStringLiteral("unknown");
  }
  bool InMic = false;
  for (const QString& Line : Sources->split(QLatin1Char('\n'))) {
    const QString Trimmed = Line.trimmed();
    if (Trimmed.startsWith(QStringLiteral("Name: "))) {
      InMic = Trimmed == QStringLiteral("Name: mic");
    } else if (InMic && Trimmed.startsWith(QStringLiteral("Latency: "))) {
      return Trimmed;
    }
  }
  return QStringLiteral("unknown");
}

void PrintFigures(const char* AWhat, const std::vector<double>& AValues) {
  const TFigures Figures = FiguresOf(AValues);
  std::printf("  %-34s median %6.1f ms  worst %6.1f ms  best %6.1f ms  (%zu steps)\n", AWhat, Figures.Median,
              Figures.Worst, Figures.Best, AValues.size());
}

int Run(int ASteps, bool AThroughSink, bool AProbe) {
  const QString Program = QStandardPaths::findExecutable(QStringLiteral("pulseaudio"));
  if (Program.isEmpty() || QStandardPaths::findExecutable(QStringLiteral("pactl")).isEmpty() ||
      (AThroughSink && QStandardPaths::findExecutable(QStringLiteral("pacat")).isEmpty())) {
    std::printf("skipped: pulseaudio (with pactl and pacat) is missing\n");
    return 0;
  }
  const QString Properties = QStringLiteral("source_properties=device.description=") + DeviceName;
  QTemporaryDir Folder;
  const QString Fifo = Folder.path() + QStringLiteral("/mic.fifo");
  const QStringList Modules =
      AThroughSink ? QStringList{QStringLiteral("module-null-sink sink_name=feed rate=48000"),
                                 QStringLiteral("module-remap-source master=feed.monitor source_name=mic ") +
                                     Properties}
                   : QStringList{QStringLiteral(
                                     "module-pipe-source source_name=mic format=s16le rate=48000 channels=1 "
                                     "file=") +
                                 Fifo + QLatin1Char(' ') + Properties};
  test::TSoundServer Server(Program, Modules);
  if (!Server.WaitUntilUp()) {
    std::printf("failed: %s\n", qPrintable(Server.Failure()));
    return 1;
  }
  if (!Server.Pactl({"set-default-source", "mic"})) {
    std::printf("failed: the sound server has no source \"mic\"\n");
    return 1;
  }

  int Fd = -1;
  FILE* Player = nullptr;
  if (AThroughSink) {
    Player = popen(
        "pacat --playback --raw --device=feed --format=s16le --rate=48000 --channels=1 "
        "--latency-msec=10",
        "w");
    Fd = Player != nullptr ? fileno(Player) : -1;
  } else {
    // Not blocking while the server has no reader open: that is an error, not a wait.
    Fd = open(QFile::encodeName(Fifo).constData(), O_WRONLY | O_NONBLOCK);
    if (Fd >= 0) {
      fcntl(Fd, F_SETFL, fcntl(Fd, F_GETFL) & ~O_NONBLOCK);
    }
  }
  if (Fd < 0) {
    std::printf("failed: cannot feed the source: %s\n", std::strerror(errno));
    return 1;
  }

  int Result = 1;
  {
    auto Writer = std::make_unique<TSoundWriter>(Fd);
    const QAudioDevice Device = [] {
      for (const QAudioDevice& Input : QMediaDevices::audioInputs()) {
        if (Input.id() == "mic") {
          return Input;
        }
      }
      return QAudioDevice();
    }();
    std::unique_ptr<TProbe> Probe;
    std::unique_ptr<QAudioSource> ProbeSource;
    if (AProbe && !Device.isNull()) {
      QAudioFormat Format;
      Format.setSampleRate(Rate);
      Format.setChannelCount(1);
      Format.setSampleFormat(QAudioFormat::Int16);
      Probe = std::make_unique<TProbe>(*Writer);
      ProbeSource = std::make_unique<QAudioSource>(Device, Format);
      ProbeSource->setBufferSize(Format.bytesForDuration(CaptureBufferMs * 1000));
      ProbeSource->start(Probe.get());
    }
    TSilentBoxes Boxes;
    TRecorderWindow Window(
        [] {
          return TInputChoice{QStringLiteral("mic"), DeviceName, QString()};
        },
        Folder.path() + QStringLiteral("/tracks"), Folder.path() + QStringLiteral("/pellorin.ini"), Boxes);
    Window.show();
    if (Window.lbDevice().text() != QStringLiteral("Input: ") + DeviceName) {
      std::printf("failed: the recorder listens to \"%s\", not to the source fed\n",
                  qPrintable(Window.lbDevice().text()));
    } else {
      TStepper Stepper(Window.Meter(), *Writer, Probe.get(), ASteps);
      QApplication::exec();
      std::printf("%s, %d steps from silence to a tone at -6 dBFS, shown when above %.0f dBFS\n",
                  AThroughSink ? "through a null sink (its latency included: an upper bound)"
                               : "pipe source, written at the pace of the clock",
                  ASteps, Threshold);
      std::printf("  source \"mic\": %s\n", qPrintable(SourceLatency(Server)));
      if (ProbeSource != nullptr) {
        std::printf(
            "  capture buffer asked %d ms; a stream asking the same: bufferSize() %lld bytes (%.1f ms), "
            "handed sound every %.1f ms, %.1f ms of it at a time (medians)\n",
            CaptureBufferMs, qlonglong(ProbeSource->bufferSize()),
            ProbeSource->bufferSize() * 1000.0 / (Rate * 2), FiguresOf(Probe->Gaps()).Median,
            FiguresOf(Probe->Pieces()).Median);
      }
      if (!Stepper.Failure.isEmpty()) {
        std::printf("failed: %s\n", qPrintable(Stepper.Failure));
      } else {
        PrintFigures("sound to screen (the meter's paint):", Stepper.ToScreen);
        if (!Stepper.ToStream.empty()) {
          PrintFigures("sound to a capture stream:", Stepper.ToStream);
        }
        std::printf(
            "  blocks of %d ms left out while the source's reader was behind: %d in the steps, %d before\n",
            int(BlockTime.count() / 1000), Writer->LeftOut() - Stepper.LeftOutBefore, Stepper.LeftOutBefore);
        std::printf("  target %.0f ms: %s; load average %s\n", TargetMs,
                    FiguresOf(Stepper.ToScreen).Worst <= TargetMs ? "met by the worst step" : "NOT met",
                    qPrintable(LoadAverage()));
        Result = 0;
      }
    }
    if (ProbeSource != nullptr) {
      ProbeSource->stop();
    }
    Window.close();
    Writer.reset();
  }
  if (Player != nullptr) {
    pclose(Player);
  } else {
    close(Fd);
  }
  return Result;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  int Steps = 20;
  bool ThroughSink = false;
  bool Probe = true;
  for (int I = 1; I < argc; ++I) {
    if (std::strcmp(argv[I], "--through-sink") == 0) {
      ThroughSink = true;
    } else if (std::strcmp(argv[I], "--no-probe") == 0) {
      Probe = false;
    } else if (std::atoi(argv[I]) > 0) {
      Steps = std::atoi(argv[I]);
    } else {
      std::fprintf(stderr, "usage: recorder_meter_latency [steps] [--through-sink] [--no-probe]\n");
      return 2;
    }
  }
  // A player that went away fails the write rather than ending the program.
  signal(SIGPIPE, SIG_IGN);
  QApplication Application(argc, argv);
  return Run(Steps, ThroughSink, Probe);
}
