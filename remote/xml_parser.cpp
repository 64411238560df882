#include "remote/xml_parser.h"

#include "support/windows1252.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace wavenard {

namespace {

// Sets of characters below 64 as bit masks, so the hot loops test a character with one shift.
constexpr quint64 Bits(std::initializer_list<char16_t> AChars) {
  quint64 Mask = 0;
  for (const char16_t C : AChars) {
    Mask |= quint64(1) << C;
  }
  return Mask;
}

constexpr bool In(quint64 AMask, char16_t AChar) {
  return AChar < 64 && ((AMask >> AChar) & 1) != 0;
}

constexpr quint64 Blanks = Bits({u'\t', u'\n', u'\r', u' '});
constexpr quint64 TagNameStops = Blanks | Bits({0, u'/', u'>'});
constexpr quint64 AttrNameStops = Blanks | Bits({0, u'/', u'=', u'>'});
constexpr quint64 TargetStops = Blanks | Bits({0, u'>', u'?'});
// Where copying a quoted value has to look closer: its end, or something normalisation changes.
constexpr quint64 ValueStops = Bits({0, u'"', u'\'', u'\t', u'\n', u'\r', u'&'});

constexpr bool IsBlank(char16_t AChar) {
  return In(Blanks, AChar);
}

constexpr bool IsAttrNameStart(char16_t AChar) {
  return (AChar >= u'A' && AChar <= u'Z') || (AChar >= u'a' && AChar <= u'z') || AChar == u'_' ||
         (AChar >= 192 && AChar <= 255 && AChar != 215 && AChar != 247);
}

// The buffer ends with a NUL and holds no other, so comparing stops at the end at the latest.
template <size_t N>
bool StartsWith(const char16_t* AText, const char16_t (&APrefix)[N]) {
  for (size_t I = 0; I + 1 < N; ++I) {
    if (AText[I] != APrefix[I]) {
      return false;
    }
  }
  return true;
}

template <size_t N>
const char16_t* Find(const char16_t* AFrom, const char16_t (&ASeq)[N]) {
  for (const char16_t* P = AFrom; *P != 0; ++P) {
    if (StartsWith(P, ASeq)) {
      return P;
    }
  }
  return nullptr;
}

void AssignRange(QString& ADest, const char16_t* ABegin, const char16_t* AEnd) {
  const qsizetype Size = AEnd - ABegin;
  // resize keeps the storage when it is ours and large enough, so refilling does not allocate.
  ADest.resize(Size);
  if (Size > 0) {
    std::memcpy(static_cast<void*>(ADest.data()), ABegin, size_t(Size) * sizeof(char16_t));
  }
}

void AppendRange(QString& ADest, const char16_t* ABegin, const char16_t* AEnd) {
  if (AEnd > ABegin) {
    ADest.append(QStringView(ABegin, AEnd - ABegin));
  }
}

// The number of a character reference after its "#"; 32 when it cannot be read or does not fit in
// 32 bits.
quint32 CharacterCode(const char16_t* ABegin, const char16_t* AEnd) {
  constexpr quint32 Unreadable = 32;
  quint64 Base = 10;
  if (ABegin < AEnd && (*ABegin == u'x' || *ABegin == u'X')) {
    Base = 16;
    ++ABegin;
  }
  if (ABegin == AEnd) {
    return Unreadable;
  }
  quint64 Code = 0;
  for (const char16_t* P = ABegin; P < AEnd; ++P) {
    quint64 Digit;
    if (*P >= u'0' && *P <= u'9') {
      Digit = *P - u'0';
    } else if (Base == 16 && *P >= u'a' && *P <= u'f') {
      Digit = *P - u'a' + 10;
    } else if (Base == 16 && *P >= u'A' && *P <= u'F') {
      Digit = *P - u'A' + 10;
    } else {
      return Unreadable;
    }
    Code = Code * Base + Digit;
    if (Code > 0xFFFFFFFFu) {
      return Unreadable;
    }
  }
  return quint32(Code);
}

// Trims blanks at both ends and packs every inner run of them to one space, in place.
void PackBlanks(QString& AText) {
  QChar* Chars = AText.data();
  qsizetype Written = 0;
  bool Pending = false;
  for (qsizetype Read = 0; Read < AText.size(); ++Read) {
    const QChar C = Chars[Read];
    if (IsBlank(C.unicode())) {
      Pending = Written > 0;
      continue;
    }
    if (Pending) {
      Chars[Written++] = u' ';
      Pending = false;
    }
    Chars[Written++] = C;
  }
  AText.truncate(Written);
}

}  // namespace

// --- TNvpNode ---

TNvpNode::TNvpNode(QStringView AName, const QString& AValue) : Value(AValue) {
  SetName(AName);
}

void TNvpNode::SetName(QStringView AName) {
  AssignRange(FName, AName.utf16(), AName.utf16() + AName.size());
  FNameHash = HashName(AName);
}

quint32 TNvpNode::HashName(QStringView AName) {
  const qsizetype Length = AName.size();
  if (Length == 0) {
    return 0;
  }
  const qsizetype Middle = std::min(Length, Length / 2 + 1) - 1;
  const quint32 Sum = quint32(AName[0].unicode()) + AName[Length - 1].unicode() + AName[Middle].unicode();
  return quint32(Length) * Sum;
}

// --- TNvpList ---

void TNvpList::Add(std::unique_ptr<TNvpNode> ANode) {
  if (!ANode) {
    return;
  }
  if (size_t(FCount) < FNodes.size()) {
    FNodes[size_t(FCount)] = std::move(ANode);
  } else {
    FNodes.push_back(std::move(ANode));
  }
  ++FCount;
}

void TNvpList::Clear() {
  FCount = 0;
}

TNvpNode* TNvpList::Node(QStringView AName) const {
  const quint32 Hash = TNvpNode::HashName(AName);
  for (int I = 0; I < FCount; ++I) {
    TNvpNode* Node = FNodes[size_t(I)].get();
    if (Node->NameHash() == Hash && QStringView(Node->Name()) == AName) {
      return Node;
    }
  }
  return nullptr;
}

TNvpNode* TNvpList::Node(int AIndex) const {
  return AIndex >= 0 && AIndex < FCount ? FNodes[size_t(AIndex)].get() : nullptr;
}

QString TNvpList::Value(QStringView AName) const {
  const TNvpNode* Found = Node(AName);
  return Found ? Found->Value : QString();
}

QString TNvpList::Value(int AIndex) const {
  const TNvpNode* Found = Node(AIndex);
  return Found ? Found->Value : QString();
}

QString TNvpList::Name(int AIndex) const {
  const TNvpNode* Found = Node(AIndex);
  return Found ? Found->Name() : QString();
}

// --- TAttrList ---

const char16_t* TAttrList::Analyze(const char16_t* AStart) {
  return Walk(AStart, nullptr);
}

TAttr& TAttrList::AppendNode() {
  if (size_t(FCount) < FNodes.size()) {
    if (auto* Spare = dynamic_cast<TAttr*>(FNodes[size_t(FCount)].get())) {
      Spare->ValueType = vtNormal;
      Spare->AttrType = atUnknown;
      ++FCount;
      return *Spare;
    }
    FNodes[size_t(FCount)] = std::make_unique<TAttr>();
  } else {
    FNodes.push_back(std::make_unique<TAttr>());
  }
  return static_cast<TAttr&>(*FNodes[size_t(FCount++)]);
}

const char16_t* TAttrList::Walk(const char16_t* AStart, TXmlParser* ANormalizer) {
  Clear();
  enum { ExpectName, ExpectEquals, ExpectQuote } State = ExpectName;
  const char16_t* NameBegin = AStart;
  const char16_t* NameEnd = AStart;
  const char16_t* P = AStart;
  for (;;) {
    const char16_t C = *P;
    if (C == 0 || C == u'>') {
      return P;
    }
    if (IsBlank(C)) {
      ++P;
      continue;
    }
    switch (State) {
      case ExpectName:
        if (!IsAttrNameStart(C)) {
          return P;
        }
        NameBegin = P;
        do {
          ++P;
        } while (!In(AttrNameStops, *P));
        NameEnd = P;
        State = ExpectEquals;
        break;
      case ExpectEquals:
        if (C == u'=') {
          State = ExpectQuote;
        }
        ++P;
        break;
      case ExpectQuote: {
        if (C != u'"' && C != u'\'') {
          ++P;
          break;
        }
        const char16_t* ValueBegin = P + 1;
        const char16_t* Q = ValueBegin;
        bool Special = false;
        for (;; ++Q) {
          const char16_t D = *Q;
          if (In(ValueStops, D)) {
            if (D == C || D == 0) {
              break;
            }
            Special = Special || (D != u'"' && D != u'\'');
          }
        }
        TAttr& Attr = AppendNode();
        Attr.SetName(QStringView(NameBegin, NameEnd - NameBegin));
        if (ANormalizer && Special) {
          ANormalizer->NormalizeValue(ValueBegin, Q, Attr.Value);
        } else {
          AssignRange(Attr.Value, ValueBegin, Q);
        }
        // Without its closing quote the value ran to the end of the document.
        P = *Q == 0 ? Q : Q + 1;
        State = ExpectName;
        break;
      }
    }
  }
}

// --- TXmlParser ---

TXmlParser::TXmlParser() : FData(u"") {
  Clear();
}

TXmlParser::~TXmlParser() = default;

bool TXmlParser::LoadFromBuffer(const QString& AText) {
  Clear();
  try {
    const qsizetype Nul = AText.indexOf(QChar(u'\0'));
    // Sharing the caller's text is as good as a copy: neither side can change it under the other.
    FBuffer = Nul < 0 ? AText : AText.left(Nul);
    // utf16() guarantees the terminating NUL, copying a text that only refers to foreign memory.
    FData = reinterpret_cast<const char16_t*>(FBuffer.utf16());
    FLength = FBuffer.size();
  } catch (const std::bad_alloc&) {
    Clear();
    return false;
  }
  FSource = QStringLiteral("<MEM>");
  return true;
}

void TXmlParser::Clear() {
  FBuffer = QString();
  FData = u"";
  FLength = 0;
  FSource.clear();
  FXmlVersion.clear();
  FEncoding.clear();
  FStandalone = false;
  FNormalize = true;
  FCurEncoding.clear();
  StartScan();
}

void TXmlParser::StartScan() {
  FCurPartType = ptNone;
  FCurStart = -1;
  FCurFinal = -1;
  FCurName.clear();
  FCurContent.clear();
  FCurAttr.Clear();
  FNoSemicolonFrom = nullptr;
}

bool TXmlParser::Scan() {
  for (;;) {
    // FCurFinal is -1 before the first part.
    const char16_t* P = FData + FCurFinal + 1;
    if (*P == 0) {
      FCurStart = FLength;
      FCurFinal = FLength - 1;
      return false;
    }
    const qsizetype Start = P - FData;
    FCurFinal = Start;
    if (P[0] == u'<' && P[1] == u'?') {
      if (StartsWith(P, u"<?xml") && IsBlank(P[5])) {
        ScanXmlDeclaration(P);
      } else {
        ScanProcessingInstruction(P);
      }
    } else if (StartsWith(P, u"<!--")) {
      ScanComment(P);
    } else if (StartsWith(P, u"<!DOCTYPE")) {
      ScanDocumentType(P);
    } else if (StartsWith(P, u"<![CDATA[")) {
      ScanCData(P);
    } else if (P[0] == u'<') {
      ScanTag(P);
    } else if (!ScanText(P)) {
      continue;
    }
    FCurStart = Start;
    return true;
  }
}

void TXmlParser::ScanXmlDeclaration(const char16_t* AStart) {
  FCurPartType = ptXmlProlog;
  FCurName.clear();
  FCurContent.clear();
  const char16_t* Stop = FCurAttr.Walk(AStart + 5, nullptr);
  FXmlVersion = FCurAttr.Value(u"version");
  FEncoding = FCurAttr.Value(u"encoding");
  FStandalone = FCurAttr.Value(u"standalone") == u"yes";
  // Only recorded: the text is already made of characters.
  FCurEncoding = FEncoding.isEmpty() ? QStringLiteral("UTF-8") : FEncoding.toUpper();
  const char16_t* Close = Find(Stop, u"?>");
  Close ? SetFinal(Close + 1) : SetFinalAtEnd();
}

void TXmlParser::ScanProcessingInstruction(const char16_t* AStart) {
  FCurPartType = ptPI;
  const char16_t* TargetEnd = AStart + 2;
  while (!In(TargetStops, *TargetEnd)) {
    ++TargetEnd;
  }
  AssignRange(FCurName, AStart + 2, TargetEnd);
  FCurAttr.Walk(TargetEnd, nullptr);
  // The target holds no "?", so the close lies at or after its end.
  const char16_t* Close = Find(AStart + 2, u"?>");
  AssignRange(FCurContent, TargetEnd, Close ? Close : FData + FLength);
  Close ? SetFinal(Close + 1) : SetFinalAtEnd();
}

void TXmlParser::ScanComment(const char16_t* AStart) {
  FCurPartType = ptComment;
  const char16_t* Close = Find(AStart + 4, u"-->");
  Close ? SetFinal(Close + 2) : SetFinalAtEnd();
}

void TXmlParser::ScanDocumentType(const char16_t* AStart) {
  FCurPartType = ptDtdc;
  FCurName.clear();
  FCurContent.clear();
  // Only the extent is found: quoted literals, and comments and processing instructions inside the
  // internal subset, may hold ">" or "]".
  bool InSubset = false;
  const char16_t* P = AStart + 9;
  for (;;) {
    const char16_t C = *P;
    const char16_t* Resume = nullptr;
    if (C == 0) {
      SetFinalAtEnd();
      return;
    }
    if (InSubset && StartsWith(P, u"<!--")) {
      Resume = Find(P + 4, u"-->");
      Resume = Resume ? Resume + 3 : nullptr;
    } else if (InSubset && StartsWith(P, u"<?")) {
      Resume = Find(P + 2, u"?>");
      Resume = Resume ? Resume + 2 : nullptr;
    } else if (C == u'"' || C == u'\'') {
      Resume = P + 1;
      while (*Resume != 0 && *Resume != C) {
        ++Resume;
      }
      Resume = *Resume != 0 ? Resume + 1 : nullptr;
    } else {
      if (InSubset) {
        InSubset = C != u']';
      } else if (C == u'[') {
        InSubset = true;
      } else if (C == u'>') {
        SetFinal(P);
        return;
      }
      ++P;
      continue;
    }
    if (!Resume) {
      SetFinalAtEnd();
      return;
    }
    P = Resume;
  }
}

void TXmlParser::ScanCData(const char16_t* AStart) {
  FCurPartType = ptCData;
  const char16_t* Close = Find(AStart + 9, u"]]>");
  AssignRange(FCurContent, AStart + 9, Close ? Close : FData + FLength);
  Close ? SetFinal(Close + 2) : SetFinalAtEnd();
}

void TXmlParser::ScanTag(const char16_t* AStart) {
  TPartType Type = ptStartTag;
  const char16_t* P = AStart + 1;
  if (*P == u'/') {
    Type = ptEndTag;
    ++P;
  }
  const char16_t* NameBegin = P;
  // The first character belongs to the name whatever it is, unless the document ends there.
  if (*P != 0) {
    do {
      ++P;
    } while (!In(TagNameStops, *P));
  }
  AssignRange(FCurName, NameBegin, P);
  const char16_t* Stop = FCurAttr.Walk(P, Type == ptStartTag ? this : nullptr);
  if (*Stop == u'/') {
    if (Type == ptEndTag) {
      // Read unnormalised above; an end tag that turns out empty is normalised like any empty tag.
      for (int I = 0; I < FCurAttr.Count(); ++I) {
        TNvpNode* Attr = FCurAttr.Node(I);
        const QString Raw = Attr->Value;
        const char16_t* Begin = reinterpret_cast<const char16_t*>(Raw.utf16());
        NormalizeValue(Begin, Begin + Raw.size(), Attr->Value);
      }
    }
    Type = ptEmptyTag;
  }
  FCurPartType = Type;
  const char16_t* Close = Stop;
  while (*Close != 0 && *Close != u'>') {
    ++Close;
  }
  *Close != 0 ? SetFinal(Close) : SetFinalAtEnd();
}

bool TXmlParser::ScanText(const char16_t* AStart) {
  // Most text between tags is a line break and indentation: skip it without building anything.
  const char16_t* P = AStart;
  bool Blank = true;
  while (*P != 0 && *P != u'<' && *P != u'&') {
    Blank = Blank && IsBlank(*P);
    ++P;
  }
  if (*P != u'&' && Blank && FNormalize) {
    SetFinal(P - 1);
    return false;
  }
  QString Text;
  const char16_t* Run = AStart;
  while (*P != 0 && *P != u'<') {
    if (*P != u'&') {
      ++P;
      continue;
    }
    AppendRange(Text, Run, P);
    // An unescaped "&" takes everything up to the next ";" as its name, markup included, and the
    // text goes on after it; without any later ";" the "&" is dropped.
    const char16_t* Semicolon = FindSemicolon(P + 1);
    if (Semicolon) {
      AppendReference(Text, P + 1, Semicolon);
      P = Semicolon + 1;
    } else {
      ++P;
    }
    Run = P;
  }
  AppendRange(Text, Run, P);
  SetFinal(P - 1);
  if (FNormalize) {
    PackBlanks(Text);
  }
  if (Text.isEmpty()) {
    return false;
  }
  FCurPartType = ptContent;
  FCurContent = std::move(Text);
  return true;
}

const char16_t* TXmlParser::FindSemicolon(const char16_t* AFrom) {
  if (FNoSemicolonFrom && AFrom >= FNoSemicolonFrom) {
    return nullptr;
  }
  for (const char16_t* P = AFrom; *P != 0; ++P) {
    if (*P == u';') {
      return P;
    }
  }
  FNoSemicolonFrom = AFrom;
  return nullptr;
}

void TXmlParser::NormalizeValue(const char16_t* ABegin, const char16_t* AEnd, QString& AValue) {
  AValue.resize(0);
  AValue.reserve(AEnd - ABegin);
  // Each "&" searches further right than the one before, so one failed search answers the rest.
  bool NoSemicolon = false;
  const char16_t* Run = ABegin;
  const char16_t* P = ABegin;
  while (P < AEnd) {
    const char16_t C = *P;
    if (C == u'\t' || C == u'\n' || C == u'\r') {
      AppendRange(AValue, Run, P);
      AValue.append(u' ');
      Run = ++P;
    } else if (C == u'&' && !NoSemicolon) {
      const char16_t* From = P + 2;
      const char16_t* Semicolon = From < AEnd ? std::find(From, AEnd, u';') : AEnd;
      if (Semicolon == AEnd) {
        NoSemicolon = From < AEnd;
        ++P;
        continue;
      }
      AppendRange(AValue, Run, P);
      AppendReference(AValue, P + 1, Semicolon);
      Run = P = Semicolon + 1;
    } else {
      ++P;
    }
  }
  AppendRange(AValue, Run, AEnd);
}

void TXmlParser::AppendReference(QString& AText, const char16_t* ABegin, const char16_t* AEnd) {
  const QStringView Name(ABegin, AEnd - ABegin);
  if (Name == u"lt") {
    AText.append(u'<');
  } else if (Name == u"gt") {
    AText.append(u'>');
  } else if (Name == u"amp") {
    AText.append(u'&');
  } else if (Name == u"apos") {
    AText.append(u'\'');
  } else if (Name == u"quot") {
    AText.append(u'"');
  } else if (!Name.isEmpty() && Name[0] == u'#') {
    AText.append(TranslateCharacter(CharacterCode(ABegin + 1, AEnd)));
  } else {
    AText.append(Name);
  }
}

QString TXmlParser::TranslateCharacter(quint32 ACode) {
  // From 128 up only what Windows-1252 can hold; the character is the code point itself.
  if (ACode < 128 || (ACode <= 0xFFFF && UnicodeToWindows1252(char16_t(ACode)) >= 0)) {
    return QString(QChar(char16_t(ACode)));
  }
  return QStringLiteral("?");
}

}  // namespace wavenard
