// A settings file's text read into records that use every kind of property; whatever a record
// takes must survive writing it out and reading it back into a fresh record unchanged.
#include <QByteArray>
#include <QByteArrayView>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "config/failures.h"
#include "config/object_text.h"
#include "tests/config/test_records.h"

using namespace wavenard;

namespace {

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
  TRecord Fresh;
  try {
    ReadObjectText(Written, Fresh);
  } catch (const ESettingsFailure& Failure) {
    std::fprintf(stderr, "written text not read back: %s\n%s\n", Failure.what(), Written.constData());
    __builtin_trap();
  }
  const QByteArray Again = WriteObjectText(Fresh);
  if (Again != Written) {
    std::fprintf(stderr, "round trip changed the text:\n%s\n--- became ---\n%s\n", Written.constData(),
                 Again.constData());
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
