// A settings file's text read into records that use every kind of property; whatever a record
// takes must survive writing it out and reading it back into a fresh record unchanged.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "config/failures.h"
#include "config/object_text.h"
#include "tests/config/test_records.h"

using namespace wavenard;

namespace {

template <typename TRecord>
QByteArray WriteRead(const QByteArray& AText) {
  TRecord Fresh;
  try {
    ReadObjectText(AText, Fresh);
  } catch (const ESettingsFailure& Failure) {
    std::fprintf(stderr, "written text not read back: %s\n%s\n", Failure.what(), AText.constData());
    __builtin_trap();
  }
  return WriteObjectText(Fresh);
}

// Whether every line of AWritten stands, in its order, in AReadBack.
bool KeepsEveryLine(const QByteArray& AWritten, const QByteArray& AReadBack) {
  const QList<QByteArray> ReadBack = AReadBack.split('\n');
  qsizetype Next = 0;
  for (const QByteArray& Line : AWritten.split('\n')) {
    while (Next < ReadBack.size() && ReadBack[Next] != Line) {
      ++Next;
    }
    if (Next == ReadBack.size()) {
      return false;
    }
    ++Next;
  }
  return true;
}

template <typename TRecord>
void ReadAndRoundTrip(QByteArrayView AText) {
  TRecord Record;
  try {
    ReadObjectText(AText, Record);
  } catch (const ESyntaxFailure&) {
    return;
  } catch (const EFileFailure&) {
    // The lines before the failing entry stay applied: that record must round-trip as well.
  }
  const QByteArray Written = WriteObjectText(Record);
  // A value equal to its declared default is left out and comes back in a fresh record as what the
  // constructor set, which may differ: the text read back may gain lines, but keeps every line.
  const QByteArray Again = WriteRead<TRecord>(Written);
  if (!KeepsEveryLine(Written, Again)) {
    std::fprintf(stderr, "round trip lost or changed a line:\n%s\n--- became ---\n%s\n", Written.constData(),
                 Again.constData());
    __builtin_trap();
  }
  // With those lines in, the text is stable.
  const QByteArray Third = WriteRead<TRecord>(Again);
  if (Third != Again) {
    std::fprintf(stderr, "round trip changed the text:\n%s\n--- became ---\n%s\n", Again.constData(),
                 Third.constData());
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const QByteArrayView Text(AData, static_cast<qsizetype>(ASize));
  ReadAndRoundTrip<test::TKindsRecord>(Text);
  ReadAndRoundTrip<test::TSystemRecord>(Text);
  ReadAndRoundTrip<test::TConnectionRecord>(Text);
  return 0;
}
