#pragma once

#include <QByteArray>
#include <QList>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

namespace wavenard::test {

// What the server does with one request: write Bytes, then DripCount times (-1: until the
// client or the server goes) wait DripEvery and write Drip, then close the connection, reset
// it, or hold it open without another byte until the server is destroyed.
struct TRawReply {
  enum class TEnd { Close, Reset, Hold };
  TRawReply(QByteArray ABytes = {}, TEnd AEnd = TEnd::Close) : Bytes(std::move(ABytes)), End(AEnd) {}

  QByteArray Bytes;
  TEnd End = TEnd::Close;
  QByteArray Drip;
  std::chrono::milliseconds DripEvery{0};
  int DripCount = 0;

  // A complete answer with Content-Length and "Connection: close".
  static TRawReply Answer(int AStatus, const QByteArray& AReason, const QByteArray& ABody,
                          const QByteArray& AContentType = "text/plain",
                          const QByteArray& AExtraHeaders = {});
  // An answer that never comes.
  static TRawReply Silence() { return {{}, TEnd::Hold}; }
  // An answer (200 unless AStatus says otherwise) whose body is AChunk every AEvery, ACount
  // times, or without end when ACount is -1; its Content-Length announces the whole, or far
  // more than ever comes.
  static TRawReply Dripping(const QByteArray& AChunk, std::chrono::milliseconds AEvery, int ACount = -1,
                            const QByteArray& AStatus = "200 OK");
};

// An HTTP server on 127.0.0.1 that sees the exact bytes of every request: it reads the head
// and a body of the announced Content-Length, then answers as its handler says. One
// connection at a time, on a thread of its own.
class TRawHttpServer {
 public:
  using THandler = std::function<TRawReply(const QByteArray& ARequest)>;

  explicit TRawHttpServer(THandler AHandler);
  ~TRawHttpServer();
  TRawHttpServer(const TRawHttpServer&) = delete;
  TRawHttpServer& operator=(const TRawHttpServer&) = delete;

  int Port() const { return FPort; }
  // Every request received so far, head and body, in order.
  QList<QByteArray> Requests() const;

 private:
  void Serve();
  void Handle(int AConnection);
  // Waits until AFd is readable or the server stops; false when it stops.
  bool WaitReadable(int AFd) const;
  // Waits AWait unless the server stops first; false when it stops.
  bool Pause(std::chrono::milliseconds AWait) const;

  THandler FHandler;
  int FListener = -1;
  int FWake[2] = {-1, -1};
  int FPort = 0;
  mutable std::mutex FLock;
  QList<QByteArray> FRequests;
  std::thread FThread;
};

// The request line and the header lines of a raw request, the headers sorted, so that a test
// can compare them without depending on the client's header order.
QList<QByteArray> RequestHead(const QByteArray& ARequest);
// What follows the empty line.
QByteArray RequestBody(const QByteArray& ARequest);

}  // namespace wavenard::test
