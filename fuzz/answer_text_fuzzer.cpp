// A station's answer decoded by whatever character set its Content-Type names. The input's first
// line is the header value, the rest the body.
#include <QByteArray>
#include <cstddef>
#include <cstdint>

#include "remote/answer_text.h"

using namespace wavenard;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const QByteArray Input(reinterpret_cast<const char*>(AData), static_cast<qsizetype>(ASize));
  const qsizetype LineEnd = Input.indexOf('\n');
  const QByteArray ContentType = LineEnd < 0 ? Input : Input.left(LineEnd);
  const QByteArray Body = LineEnd < 0 ? QByteArray() : Input.mid(LineEnd + 1);
  volatile qsizetype Sink = CharsetOf(ContentType).size();
  if (const std::optional<QString> Text = DecodeAnswerBody(Body, ContentType)) {
    Sink = Sink + Text->size();
  }
  return 0;
}
