#include "tests/testsupport/raw_http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace wavenard::test {

namespace {

qsizetype ContentLength(const QByteArray& AHead) {
  for (const QByteArray& Line : AHead.split('\n')) {
    const qsizetype Colon = Line.indexOf(':');
    if (Colon > 0 && Line.left(Colon).trimmed().compare("content-length", Qt::CaseInsensitive) == 0) {
      return Line.mid(Colon + 1).trimmed().toLongLong();
    }
  }
  return 0;
}

bool WriteAll(int AFd, const QByteArray& ABytes) {
  qsizetype Done = 0;
  while (Done < ABytes.size()) {
    const ssize_t Count =
        ::send(AFd, ABytes.constData() + Done, static_cast<size_t>(ABytes.size() - Done), MSG_NOSIGNAL);
    if (Count <= 0) {
      return false;
    }
    Done += Count;
  }
  return true;
}

}  // namespace

TRawReply TRawReply::Answer(int AStatus, const QByteArray& AReason, const QByteArray& ABody,
                            const QByteArray& AContentType, const QByteArray& AExtraHeaders) {
  QByteArray Bytes = "HTTP/1.1 " + QByteArray::number(AStatus) + ' ' + AReason + "\r\n";
  if (!AContentType.isEmpty()) {
    Bytes += "Content-Type: " + AContentType + "\r\n";
  }
  Bytes += AExtraHeaders;
  Bytes += "Content-Length: " + QByteArray::number(ABody.size()) + "\r\nConnection: close\r\n\r\n" + ABody;
  return {Bytes, TEnd::Close};
}

TRawReply TRawReply::Dripping(const QByteArray& AChunk, std::chrono::milliseconds AEvery, int ACount,
                              const QByteArray& AStatus) {
  const qint64 Length = ACount < 0 ? qint64(1) << 40 : AChunk.size() * qint64(ACount);
  TRawReply Reply{"HTTP/1.1 " + AStatus + "\r\nContent-Type: text/xml\r\nContent-Length: " +
                      QByteArray::number(Length) + "\r\nConnection: close\r\n\r\n",
                  TEnd::Close};
  Reply.Drip = AChunk;
  Reply.DripEvery = AEvery;
  Reply.DripCount = ACount;
  return Reply;
}

TRawHttpServer::TRawHttpServer(THandler AHandler) : FHandler(std::move(AHandler)) {
  FListener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in Address{};
  Address.sin_family = AF_INET;
  Address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t Length = sizeof(Address);
  if (FListener < 0 || ::bind(FListener, reinterpret_cast<sockaddr*>(&Address), sizeof(Address)) != 0 ||
      ::listen(FListener, 16) != 0 ||
      ::getsockname(FListener, reinterpret_cast<sockaddr*>(&Address), &Length) != 0 ||
      ::pipe2(FWake, O_CLOEXEC) != 0) {
    throw std::runtime_error("cannot start the test server");
  }
  FPort = ntohs(Address.sin_port);
  FThread = std::thread([this] { Serve(); });
}

TRawHttpServer::~TRawHttpServer() {
  ::close(FWake[1]);
  FThread.join();
  ::close(FWake[0]);
  ::close(FListener);
}

QList<QByteArray> TRawHttpServer::Requests() const {
  std::lock_guard Guard(FLock);
  return FRequests;
}

bool TRawHttpServer::WaitReadable(int AFd) const {
  pollfd Fds[2] = {{AFd, POLLIN, 0}, {FWake[0], POLLIN, 0}};
  while (::poll(Fds, 2, -1) < 0) {
  }
  return (Fds[1].revents & (POLLIN | POLLHUP)) == 0;
}

bool TRawHttpServer::Pause(std::chrono::milliseconds AWait) const {
  pollfd Wake{FWake[0], POLLIN, 0};
  return ::poll(&Wake, 1, static_cast<int>(AWait.count())) == 0;
}

void TRawHttpServer::Serve() {
  while (WaitReadable(FListener)) {
    const int Connection = ::accept4(FListener, nullptr, nullptr, SOCK_CLOEXEC);
    if (Connection >= 0) {
      Handle(Connection);
    }
  }
}

void TRawHttpServer::Handle(int AConnection) {
  QByteArray Request;
  qsizetype HeadEnd = -1;
  char Buffer[65536];
  while (HeadEnd < 0 || Request.size() < HeadEnd + 4 + ContentLength(Request.left(HeadEnd))) {
    if (!WaitReadable(AConnection)) {
      ::close(AConnection);
      return;
    }
    const ssize_t Count = ::recv(AConnection, Buffer, sizeof(Buffer), 0);
    if (Count <= 0) {
      ::close(AConnection);
      return;
    }
    Request.append(Buffer, Count);
    if (HeadEnd < 0) {
      HeadEnd = Request.indexOf("\r\n\r\n");
    }
  }
  {
    std::lock_guard Guard(FLock);
    FRequests.append(Request);
  }
  const TRawReply Reply = FHandler(Request);
  bool Written = WriteAll(AConnection, Reply.Bytes);
  for (int Drops = 0; Written && (Reply.DripCount < 0 || Drops < Reply.DripCount); ++Drops) {
    Written = Pause(Reply.DripEvery) && WriteAll(AConnection, Reply.Drip);
  }
  switch (Reply.End) {
    case TRawReply::TEnd::Close:
      ::shutdown(AConnection, SHUT_WR);
      break;
    case TRawReply::TEnd::Reset: {
      const linger Linger{1, 0};
      ::setsockopt(AConnection, SOL_SOCKET, SO_LINGER, &Linger, sizeof(Linger));
      break;
    }
    case TRawReply::TEnd::Hold:
      while (WaitReadable(AConnection) && ::recv(AConnection, Buffer, sizeof(Buffer), 0) > 0) {
      }
      break;
  }
  ::close(AConnection);
}

QList<QByteArray> RequestHead(const QByteArray& ARequest) {
  QList<QByteArray> Lines = ARequest.left(ARequest.indexOf("\r\n\r\n")).split('\n');
  for (QByteArray& Line : Lines) {
    Line = Line.trimmed();
  }
  std::sort(Lines.begin() + 1, Lines.end());
  return Lines;
}

QByteArray RequestBody(const QByteArray& ARequest) {
  return ARequest.mid(ARequest.indexOf("\r\n\r\n") + 4);
}

}  // namespace wavenard::test
