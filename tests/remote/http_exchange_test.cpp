#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <thread>

#include "remote/http_exchange.h"
#include "tests/testsupport/raw_http_server.h"

namespace wavenard {
namespace {

using test::TRawHttpServer;
using test::TRawReply;
using namespace std::chrono_literals;

constexpr THttpLimits ShortLimits{2000ms, 500ms};

QString UrlOf(const TRawHttpServer& AServer, const QString& ATarget = u"/?user=u&pass=p&action=x"_qs) {
  return u"http://127.0.0.1:%1%2"_qs.arg(AServer.Port()).arg(ATarget);
}

// Runs an exchange that must fail and returns its message.
QString FailureOf(const QString& AURL, const QByteArray* AForm = nullptr,
                  const THttpLimits& ALimits = ShortLimits) {
  try {
    PerformHttpExchange(AURL, AForm, ALimits, {});
  } catch (const ENetworkFailure& E) {
    return E.Message();
  }
  ADD_FAILURE() << "the exchange succeeded";
  return {};
}

using HttpExchange = ::testing::Test;

TEST_F(HttpExchange, KeepsStatusReasonTypeAndBody) {
  TRawHttpServer Server([](const QByteArray&) {
    return TRawReply::Answer(500, "Internal Server Error", "", "text/plain; charset=iso-8859-1");
  });
  const THttpAnswer Answer = PerformHttpExchange(UrlOf(Server), nullptr, ShortLimits, {});
  EXPECT_EQ(Answer.Status, 500);
  EXPECT_EQ(Answer.StatusText(), u"500 Internal Server Error"_qs);
  EXPECT_EQ(Answer.ContentType, "text/plain; charset=iso-8859-1");
  EXPECT_EQ(Answer.Body, "");
}

TEST_F(HttpExchange, TransferFailuresAreWorded) {
  TRawHttpServer Silent([](const QByteArray&) { return TRawReply::Silence(); });
  TRawHttpServer Closing([](const QByteArray&) {
    return TRawReply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n<TRACK", TRawReply::TEnd::Close};
  });
  TRawHttpServer Resetting([](const QByteArray&) {
    return TRawReply{"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n<TRACK", TRawReply::TEnd::Reset};
  });
  int UnusedPort = 0;
  {
    TRawHttpServer Gone([](const QByteArray&) { return TRawReply::Silence(); });
    UnusedPort = Gone.Port();
  }

  QElapsedTimer Timer;
  Timer.start();
  EXPECT_EQ(FailureOf(UrlOf(Silent)), u"The station did not answer in time."_qs);
  EXPECT_LT(Timer.elapsed(), 10000) << "the injected stall limit applies, not the default";
  EXPECT_EQ(FailureOf(UrlOf(Closing)), u"transfer closed with 94 bytes remaining to read"_qs);
  EXPECT_EQ(FailureOf(UrlOf(Resetting)), u"Error receiving data: (104) Connection reset by peer"_qs);
  EXPECT_TRUE(
      FailureOf(u"http://127.0.0.1:%1/"_qs.arg(UnusedPort)).startsWith(u"Failed to connect to 127.0.0.1"_qs));
  EXPECT_EQ(FailureOf(u"http://st:81:80/?user=u&pass=secret&action=x"_qs),
            u"Invalid URL: \"http://st:81:80/?user=u&pass=***&action=x\""_qs);
}

// A GET follows five redirects and gives up on the sixth.
TEST_F(HttpExchange, FollowsAtMostFiveRedirects) {
  for (const int Redirects : {5, 6}) {
    std::atomic<int> Count{0};
    TRawHttpServer Server([&](const QByteArray&) {
      const int Hop = ++Count;
      if (Hop <= Redirects) {
        return TRawReply::Answer(302, "Found", "", "", "Location: /hop" + QByteArray::number(Hop) + "\r\n");
      }
      return TRawReply::Answer(200, "OK", "done");
    });
    if (Redirects == 5) {
      EXPECT_EQ(PerformHttpExchange(UrlOf(Server), nullptr, ShortLimits, {}).Body, "done");
      EXPECT_TRUE(Server.Requests().last().startsWith("GET /hop5 HTTP/1.1\r\n"));
    } else {
      EXPECT_EQ(FailureOf(UrlOf(Server)), u"Maximum (5) redirects followed"_qs);
      EXPECT_EQ(Server.Requests().size(), 6);
    }
  }
}

// An upload goes on only where the method and the body are kept.
TEST_F(HttpExchange, AnUploadFollowsOnly307And308) {
  const QByteArray Form = "user=u&pass=p&action=wavenard&fn=f&pos=1&vt=";
  for (const int Status : {301, 302, 303, 307, 308}) {
    TRawHttpServer Server([&](const QByteArray& ARequest) {
      if (ARequest.startsWith("POST / ")) {
        return TRawReply::Answer(Status, "Moved", "", "", "Location: /other\r\n");
      }
      return TRawReply::Answer(200, "OK", "stored");
    });
    if (Status == 307 || Status == 308) {
      EXPECT_EQ(PerformHttpExchange(UrlOf(Server, u""_qs), &Form, ShortLimits, {}).Body, "stored");
      ASSERT_EQ(Server.Requests().size(), 2);
      EXPECT_TRUE(Server.Requests()[1].startsWith("POST /other HTTP/1.1\r\n"));
      EXPECT_EQ(test::RequestBody(Server.Requests()[1]), Form);
    } else {
      EXPECT_EQ(
          FailureOf(UrlOf(Server, u""_qs), &Form),
          u"The station redirected the upload (%1 Moved); the voice track was not sent."_qs.arg(Status));
      EXPECT_EQ(Server.Requests().size(), 1);
    }
  }
}

// The form carries the password and the voice track: it goes nowhere but where it was sent.
TEST_F(HttpExchange, AnUploadIsNotRedirectedToAnotherPlace) {
  const QByteArray Form = "user=u&pass=secret&action=wavenard&fn=f&pos=1&vt=";
  TRawHttpServer Elsewhere([](const QByteArray&) { return TRawReply::Answer(200, "OK", "stored"); });
  const QByteArray OtherPort = QByteArray::number(Elsewhere.Port());
  for (const int Status : {307, 308}) {
    for (const QByteArray& Location :
         {"http://127.0.0.1:" + OtherPort + "/", "http://localhost:" + OtherPort + "/",
          "https://127.0.0.1:" + OtherPort + "/"}) {
      SCOPED_TRACE(Status);
      SCOPED_TRACE(Location.toStdString());
      TRawHttpServer Server([&](const QByteArray&) {
        return TRawReply::Answer(Status, "Moved", "", "", "Location: " + Location + "\r\n");
      });
      EXPECT_EQ(
          FailureOf(UrlOf(Server, u""_qs), &Form),
          u"The station redirected the upload to another address (%1); the voice track was not sent there."_qs
              .arg(QString::fromLatin1(Location)));
      EXPECT_EQ(Server.Requests().size(), 1);
    }
  }
  EXPECT_TRUE(Elsewhere.Requests().isEmpty()) << "nothing reached the other server";

  // The same place written out in full is followed.
  TRawHttpServer Server([&](const QByteArray& ARequest) {
    if (ARequest.startsWith("POST / ")) {
      return TRawReply::Answer(
          307, "Moved", "", "",
          "Location: HTTP://127.0.0.1:" + QByteArray::number(Server.Port()) + "/again\r\n");
    }
    return TRawReply::Answer(200, "OK", "stored");
  });
  EXPECT_EQ(PerformHttpExchange(UrlOf(Server, u""_qs), &Form, ShortLimits, {}).Body, "stored");
}

TEST_F(HttpExchange, ReportsTheFormsProgressUpToItsWholeSize) {
  const QByteArray Form = "vt=" + QByteArray(8 << 20, 'A');
  TRawHttpServer Server([](const QByteArray&) { return TRawReply::Answer(200, "OK", "stored"); });
  std::vector<std::pair<qint64, qint64>> Reports;
  PerformHttpExchange(UrlOf(Server, u""_qs), &Form, THttpLimits{}, {},
                      [&](qint64 ASent, qint64 ATotal) { Reports.emplace_back(ASent, ATotal); });
  ASSERT_FALSE(Reports.empty());
  EXPECT_EQ(Reports.back(), std::make_pair(Form.size(), Form.size()));
  EXPECT_TRUE(std::is_sorted(Reports.begin(), Reports.end()));
  EXPECT_EQ(test::RequestBody(Server.Requests().value(0)), Form);
}

TEST_F(HttpExchange, AnAbortEndsAWaitingExchangeAtOnce) {
  TRawHttpServer Server([](const QByteArray&) { return TRawReply::Silence(); });
  QElapsedTimer Timer;
  Timer.start();
  EXPECT_THROW(
      PerformHttpExchange(UrlOf(Server), nullptr, THttpLimits{}, [&] { return Timer.elapsed() > 100; }),
      EExchangeAborted);
  EXPECT_LT(Timer.elapsed(), 1000);
}

// Answers the first request with a head announcing ABodySize bytes, then drips one byte every
// AEveryMs milliseconds until it is destroyed.
class TDripServer {
 public:
  TDripServer(int ABodySize, int AEveryMs) {
    FListener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in Address{};
    Address.sin_family = AF_INET;
    Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t Length = sizeof(Address);
    bind(FListener, reinterpret_cast<sockaddr*>(&Address), Length);
    listen(FListener, 1);
    getsockname(FListener, reinterpret_cast<sockaddr*>(&Address), &Length);
    FPort = ntohs(Address.sin_port);
    FThread = std::thread([this, ABodySize, AEveryMs] {
      const int Connection = accept(FListener, nullptr, nullptr);
      char Request[4096];
      [[maybe_unused]] const ssize_t Read = recv(Connection, Request, sizeof(Request), 0);
      const QByteArray Head =
          "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(ABodySize) + "\r\n\r\n";
      send(Connection, Head.constData(), static_cast<size_t>(Head.size()), MSG_NOSIGNAL);
      while (!FStop.load() && send(Connection, "x", 1, MSG_NOSIGNAL) == 1) {
        std::this_thread::sleep_for(std::chrono::milliseconds(AEveryMs));
      }
      close(Connection);
    });
  }
  ~TDripServer() {
    FStop = true;
    shutdown(FListener, SHUT_RDWR);
    FThread.join();
    close(FListener);
  }
  TDripServer(const TDripServer&) = delete;
  TDripServer& operator=(const TDripServer&) = delete;
  int Port() const { return FPort; }

 private:
  int FListener = -1;
  int FPort = 0;
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

// A byte now and then keeps the stall limit from firing; the speed rule ends the transfer.
TEST_F(HttpExchange, AStationThatDripsItsAnswerIsGivenUp) {
  TDripServer Server(1000, 50);
  THttpLimits Limits = ShortLimits;
  Limits.SlowWindow = 600ms;
  Limits.MinBytesPerWindow = 100;
  EXPECT_EQ(FailureOf(u"http://127.0.0.1:%1/"_qs.arg(Server.Port()), nullptr, Limits),
            u"The station's connection is too slow; the request was given up."_qs);
}

// Two minutes for every request without a body; an upload has one minute and the time its
// body takes at 8 KiB/s.
TEST_F(HttpExchange, TheDeadlineOfAnExchange) {
  const THttpLimits Limits;
  const QByteArray Empty;
  const QByteArray EightMiB(8 * 1024 * 1024, 'v');
  EXPECT_EQ(Limits.DeadlineFor(nullptr), 120s);
  EXPECT_EQ(Limits.DeadlineFor(&Empty), 60s);
  EXPECT_EQ(Limits.DeadlineFor(&EightMiB), 60s + 1024s);
}

TEST_F(HttpExchange, AnAnswerAboveTheSizeLimitIsRefused) {
  const QByteArray Body(1500, 'x');
  TRawHttpServer Server([&](const QByteArray&) { return TRawReply::Answer(200, "OK", Body); });
  // Without announcing its length, too.
  TRawHttpServer Unannounced([&](const QByteArray&) {
    return TRawReply{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + Body, TRawReply::TEnd::Close};
  });
  THttpLimits Limits = ShortLimits;
  Limits.MaxAnswerBytes = 1000;
  for (const TRawHttpServer* Station : {&Server, &Unannounced}) {
    EXPECT_EQ(FailureOf(UrlOf(*Station), nullptr, Limits),
              u"The station's answer is larger than 1000 bytes; it was not read."_qs);
  }
  Limits.MaxAnswerBytes = 1500;
  EXPECT_EQ(PerformHttpExchange(UrlOf(Server), nullptr, Limits, {}).Body, Body);
  EXPECT_EQ(PerformHttpExchange(UrlOf(Unannounced), nullptr, Limits, {}).Body, Body);
}

}  // namespace
}  // namespace wavenard
