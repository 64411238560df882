// The worst playlist answers inside the reading's bounds, fetched and shown by the real playlist
// window: its peak resident size, and the longest the main thread went without serving its event
// loop while the results arrived and were shown (a 5 ms timer measures the gaps between its
// ticks). Each answer runs in a process of its own, so each peak is its own; the station is a
// further process, so its copy of the answer is not counted. Every refresh answers with the
// other of two lists one row apart, so each result is compared with the list shown and rebuilds
// every row.
//   playlist_answer_peak [refreshes [case]]   case: 1 to 4, one answer alone
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>

#include "app/main_form.h"
#include "bench/fixed_dpi.h"
#include "config/connection_settings.h"
#include "remote/http_exchange.h"
#include "remote/playlist_reading.h"
#include "support/dpi.h"
#include "support/message_box.h"
#include "support/threads/worker_pool.h"

namespace {

using namespace wavenard;

struct TAnswerCase {
  const char* Name;
  // The body with ARows rows.
  std::function<QByteArray(int ARows)> Body;
  // As many rows as the answer size limit holds, rather than the row limit.
  bool AtSizeLimit = false;
};

QByteArray Repeated(const QByteArray& APart, int ATimes) {
  QByteArray Text;
  Text.reserve(APart.size() * ATimes);
  for (int I = 0; I < ATimes; ++I) {
    Text += APart;
  }
  return Text;
}

// Rows of cells just past the cut, each its own, as many as the answer size limit holds.
QByteArray DistinctLongRows(int ARows) {
  const QByteArray Fill(MaxCellLength, 'x');
  QByteArray Text;
  for (int Row = 0; Row < ARows; ++Row) {
    const QByteArray Number = QByteArray::number(Row);
    Text += "<TRACK CASTTITLE='" + Number + Fill + "' DURATION='" + Number + Fill + "'/>\n";
  }
  return Text;
}

int DistinctLongRowsAtTheSizeLimit() {
  // Row numbers of up to five digits, twice.
  const qint64 Row = DistinctLongRows(1).size() + 8;
  return static_cast<int>(THttpLimits().MaxAnswerBytes / Row);
}

const TAnswerCase Cases[] = {
    {"<TRACK/> at the row limit", [](int ARows) { return Repeated("<TRACK/>", ARows); }},
    {"<TRACK>a at the row limit", [](int ARows) { return Repeated("<TRACK>a", ARows / 2); }},
    {"cut cells at the row limit (one tag, then comments)",
     [](int ARows) -> QByteArray {
       const QByteArray Fill(2 * MaxCellLength, 'x');
       return "<TRACK CASTTITLE='" + Fill + "' DURATION='" + Fill + "'/>" + Repeated("<!---->", ARows - 1);
     }},
    {"distinct cut cells at the answer size limit", DistinctLongRows, true},
};

int RowsOf(const TAnswerCase& ACase) {
  return ACase.AtSizeLimit ? DistinctLongRowsAtTheSizeLimit() : MaxPlaylistRows;
}

double PeakMiB() {
  rusage Usage{};
  getrusage(RUSAGE_SELF, &Usage);
  return static_cast<double>(Usage.ru_maxrss) / 1024.0;
}

void WriteAll(int AFd, const QByteArray& ABytes) {
  qsizetype Done = 0;
  while (Done < ABytes.size()) {
    const ssize_t Count =
        send(AFd, ABytes.constData() + Done, static_cast<size_t>(ABytes.size() - Done), MSG_NOSIGNAL);
    if (Count <= 0) {
      return;
    }
    Done += Count;
  }
}

// The station: answers every request on AListener with the two bodies in turn. Never returns.
[[noreturn]] void Serve(int AListener, const QByteArray& AFirst, const QByteArray& ASecond) {
  const auto Answer = [](const QByteArray& ABody) {
    return "HTTP/1.1 200 OK\r\nContent-Type: text/xml; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(ABody.size()) + "\r\nConnection: close\r\n\r\n" + ABody;
  };
  const QByteArray First = Answer(AFirst);
  const QByteArray Second = Answer(ASecond);
  for (int Served = 0;; ++Served) {
    const int Connection = accept(AListener, nullptr, nullptr);
    if (Connection < 0) {
      continue;
    }
    char Request[4096];
    [[maybe_unused]] const ssize_t Read = recv(Connection, Request, sizeof(Request), 0);
    WriteAll(Connection, Served % 2 == 0 ? First : Second);
    shutdown(Connection, SHUT_WR);
    while (recv(Connection, Request, sizeof(Request), 0) > 0) {
    }
    close(Connection);
  }
}

using bench::TFixedDpi;

class TCountingBoxes final : public TBoxPresenter {
 public:
  int Shown = 0;

 protected:
  int Present(const TBoxRequest& ARequest) override {
    ++Shown;
    std::fprintf(stderr, "box: %s\n", qPrintable(ARequest.Text));
    return IDOK;
  }
};

class TQuietHost final : public TMainFrmHost {
 public:
  void ReadSettings() override {}
  void SaveSettings() override {}
  void SaveSystemSettings() override {}
  void ShowSettings(QWidget*) override {}
  QString VoiceTracksFolder() const override { return {}; }
  void ReportError(const std::exception& AError) override {
    std::fprintf(stderr, "error: %s\n", AError.what());
  }
};

// Runs one case in this process and prints its figures; the exit code tells whether it ran.
int RunCase(const TAnswerCase& ACase, int ARefreshes, int AArgc, char** AArgv) {
  const int RowCount = RowsOf(ACase);
  const int Listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Length = sizeof(Address);
  if (Listener < 0 || bind(Listener, reinterpret_cast<sockaddr*>(&Address), Length) != 0 ||
      listen(Listener, 4) != 0 ||
      getsockname(Listener, reinterpret_cast<sockaddr*>(&Address), &Length) != 0) {
    std::perror("station");
    return 1;
  }
  // Forked before the application object starts any thread.
  const pid_t Station = fork();
  if (Station == 0) {
    Serve(Listener, ACase.Body(RowCount), ACase.Body(RowCount - 1));
  }
  close(Listener);

  int Result = 1;
  TWorkerPool Workers;
  {
    QApplication Application(AArgc, AArgv);
    auto Settings = std::make_shared<TSettings>();
    Settings->SetServer(QStringLiteral("127.0.0.1"));
    Settings->SetPort(ntohs(Address.sin_port));
    TQuietHost Host;
    TCountingBoxes Boxes;
    TFixedDpi DpiSource;
    TDpiCache Dpi(DpiSource);
    TMainFrm Window(
        Settings, Host, Boxes, Workers, Dpi, QStringLiteral("/"),
        [](QWidget*, const QString&, const QSet<QString>&) { return QString(); },
        [](const QString&, const QStringList&) { return false; });
    Window.tmrMain().stop();

    QElapsedTimer Clock;
    qint64 LastTick = -1;
    qint64 LongestGap = 0;
    QTimer Ticks;
    Ticks.setTimerType(Qt::PreciseTimer);
    Ticks.setInterval(5);
    QObject::connect(&Ticks, &QTimer::timeout, [&] {
      const qint64 Now = Clock.elapsed();
      if (LastTick >= 0) {
        LongestGap = std::max(LongestGap, Now - LastTick);
      }
      LastTick = Now;
    });
    const auto WaitForResult = [&Window] {
      QElapsedTimer Limit;
      Limit.start();
      while (Window.UpdatingPlaylist() && Limit.elapsed() < 600'000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
      }
    };
    // The first show asks for the first list; the measuring starts with the window up.
    Clock.start();
    Ticks.start();
    Window.show();
    WaitForResult();
    for (int Refresh = 1; Refresh < ARefreshes; ++Refresh) {
      Window.tmrMainTimer();
      WaitForResult();
      // One more paint of the rows after each result.
      QCoreApplication::processEvents();
    }
    Ticks.stop();
    const int Shown = Window.Playlist() ? Window.Playlist()->Count() : -1;
    std::printf(
        "%-52s %7d rows  peak resident %7.1f MiB  longest main-thread gap %5lld ms  (%d refreshes%s)\n",
        ACase.Name, Shown, PeakMiB(), static_cast<long long>(LongestGap), ARefreshes,
        Boxes.Shown > 0 ? ", boxes shown" : "");
    std::fflush(stdout);
    Result = Shown >= RowCount - 2 && Boxes.Shown == 0 ? 0 : 1;
    Window.close();
  }
  Workers.Join(5000);
  kill(Station, SIGKILL);
  waitpid(Station, nullptr, 0);
  return Result;
}

}  // namespace

int main(int argc, char** argv) {
  const int Refreshes = argc > 1 ? std::max(2, std::atoi(argv[1])) : 4;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  const int Only = argc > 2 ? std::atoi(argv[2]) : 0;
  int Status = 0;
  int Number = 0;
  for (const TAnswerCase& Case : Cases) {
    if (++Number != Only && Only != 0) {
      continue;
    }
    const pid_t Child = fork();
    if (Child == 0) {
      std::_Exit(RunCase(Case, Refreshes, argc, argv));
    }
    int ChildStatus = 0;
    waitpid(Child, &ChildStatus, 0);
    if (!WIFEXITED(ChildStatus) || WEXITSTATUS(ChildStatus) != 0) {
      std::printf("%-52s failed\n", Case.Name);
      Status = 1;
    }
  }
  return Status;
}
