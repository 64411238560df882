// A settings file's text read into the program's own records (the system and player settings and
// the connection settings, with their setters and collections) and into a record that uses every
// kind of property; whatever a record takes must survive writing it out and reading it back into
// a fresh record unchanged.
#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <QRandomGenerator>
#include <functional>
#include <memory>

#include "config/connection_settings.h"
#include "config/failures.h"
#include "config/folders.h"
#include "config/object_text.h"
#include "config/player_ini.h"
#include "config/system_ini.h"
#include "support/message_box.h"
#include "tests/config/test_records.h"

using namespace wavenard;

namespace {

using TRecordMaker = std::function<std::unique_ptr<TComponent>()>;

// The records never show a box here: reading object text does not touch their files.
class TSilentBoxes final : public TBoxPresenter {
 protected:
  int Present(const TBoxRequest&) override { return 1; }
};

TSilentBoxes Boxes;
QRandomGenerator Random(1);
const TFolders Folders(QStringLiteral("/fuzz/app/"), QStringLiteral("/fuzz/settings/"));

QByteArray WriteRead(const TRecordMaker& AMake, const QByteArray& AText) {
  const std::unique_ptr<TComponent> Fresh = AMake();
  try {
    ReadObjectText(AText, *Fresh);
  } catch (const ESettingsFailure& Failure) {
    std::fprintf(stderr, "written text not read back: %s\n%s\n", Failure.what(), AText.constData());
    __builtin_trap();
  }
  return WriteObjectText(*Fresh);
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

void ReadAndRoundTrip(QByteArrayView AText, const TRecordMaker& AMake) {
  const std::unique_ptr<TComponent> Record = AMake();
  try {
    ReadObjectText(AText, *Record);
  } catch (const ESyntaxFailure&) {
    return;
  } catch (const EFileFailure&) {
    // The lines before the failing entry stay applied: that record must round-trip as well.
  }
  const QByteArray Written = WriteObjectText(*Record);
  // A value equal to its declared default is left out and comes back in a fresh record as what the
  // constructor set, which may differ: the text read back may gain lines, but keeps every line.
  const QByteArray Again = WriteRead(AMake, Written);
  if (!KeepsEveryLine(Written, Again)) {
    std::fprintf(stderr, "round trip lost or changed a line:\n%s\n--- became ---\n%s\n", Written.constData(),
                 Again.constData());
    __builtin_trap();
  }
  // With those lines in, the text is stable.
  const QByteArray Third = WriteRead(AMake, Again);
  if (Third != Again) {
    std::fprintf(stderr, "round trip changed the text:\n%s\n--- became ---\n%s\n", Again.constData(),
                 Third.constData());
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
  const QByteArrayView Text(AData, static_cast<qsizetype>(ASize));
  ReadAndRoundTrip(Text, [] {
    return std::make_unique<TSystemIni>(Folders, Boxes,
                                        [](int) { return QStringLiteral("/fuzz/programs/"); });
  });
  ReadAndRoundTrip(Text, [] { return std::make_unique<TPlayerIni>(Folders, Boxes, Random); });
  ReadAndRoundTrip(Text, [] { return std::make_unique<TSettings>(); });
  ReadAndRoundTrip(Text, [] { return std::make_unique<test::TKindsRecord>(); });
  return 0;
}
