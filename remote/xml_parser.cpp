#include "remote/xml_parser.h"

#include "support/hex_digits.h"
#include "support/windows1252.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
// What attribute value normalisation replaces.
constexpr quint64 Normalized = Bits({u'\t', u'\n', u'\r', u'&'});

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

// The first occurrence of ASeq from AFrom on, or the NUL that ends the text.
template <size_t N>
const char16_t* Find(const char16_t* AFrom, const char16_t (&ASeq)[N]) {
  const char16_t* P = AFrom;
  while (*P != 0 && !StartsWith(P, ASeq)) {
    ++P;
  }
  return P;
}

// The first character from AFrom on that is AQuote, "&" or a control character (NUL, tab, line
// feed and carriage return among them): the end of a quoted value or something normalisation
// changes. ALimit is a NUL at or after the end of the text; blocks are read only before it.
const char16_t* SkipPlainValue(const char16_t* AFrom, const char16_t* ALimit, char16_t AQuote) {
  const char16_t* P = AFrom;
#if defined(__SSE2__)
  const __m128i Quote = _mm_set1_epi16(short(AQuote));
  const __m128i Ampersand = _mm_set1_epi16(short(u'&'));
  const __m128i LastControl = _mm_set1_epi16(0x1F);
  while (ALimit - P >= 8) {
    const __m128i Chars = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
    const __m128i IsControl = _mm_cmpeq_epi16(_mm_subs_epu16(Chars, LastControl), _mm_setzero_si128());
    const __m128i Hit = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi16(Chars, Quote), _mm_cmpeq_epi16(Chars, Ampersand)), IsControl);
    const unsigned Mask = unsigned(_mm_movemask_epi8(Hit));
    if (Mask != 0) {
      return P + std::countr_zero(Mask) / 2;
    }
    P += 8;
  }
#else
  Q_UNUSED(ALimit);
#endif
  while (*P != AQuote && *P != u'&' && *P >= 0x20) {
    ++P;
  }
  return P;
}

// Inline, unlike Qt's comparison: names are short and compared once per lookup.
bool SameText(QStringView AText, QStringView AOther) {
  return AText.size() == AOther.size() &&
         std::equal(AOther.utf16(), AOther.utf16() + AOther.size(), AText.utf16());
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
    const int Digit = HexDigitValue(*P);
    if (Digit < 0 || quint64(Digit) >= Base) {
      return Unreadable;
    }
    Code = Code * Base + quint64(Digit);
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

TNvpNode::TNvpNode(QStringView AName, const QString& AValue) : FValue(AValue) {
  SetName(AName);
}

void TNvpNode::SetName(QStringView AName) {
  // AName may be a view of the old name: copy before replacing it.
  QString Name = AName.toString();
  FOwnedName = std::move(Name);
  FName = FOwnedName;
  FNameHash = HashName(FName);
}

QString TNvpNode::Value() const {
  if (!FReferring) {
    return FValue;
  }
  return FNormalizer ? FNormalizer->NormalizeValue(FRawValue) : FRawValue.toString();
}

QString TNvpNode::ValueLeft(qsizetype ALength) const {
  if (!FReferring) {
    return FValue.left(ALength);
  }
  return FNormalizer ? FNormalizer->NormalizeValue(FRawValue, ALength) : FRawValue.left(ALength).toString();
}

void TNvpNode::SetValue(const QString& AValue) {
  FValue = AValue;
  FReferring = false;
  FRawValue = {};
  FNormalizer = nullptr;
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
  FOwnNodes = std::min(FOwnNodes, FCount);
  ++FCount;
}

void TNvpList::Clear() {
  FCount = 0;
  // The document a spare refers to may be gone by the time someone holding on to it reads it.
  for (const std::unique_ptr<TNvpNode>& Node : FNodes) {
    if (Node->FReferring) {
      Node->SetName({});
      Node->SetValue({});
    }
  }
}

TNvpNode* TNvpList::Node(QStringView AName, quint32 AHash) const {
  for (int I = 0; I < FCount; ++I) {
    TNvpNode* Node = FNodes[size_t(I)].get();
    if (Node->NameHash() == AHash && SameText(Node->Name(), AName)) {
      return Node;
    }
  }
  return nullptr;
}

TNvpNode* TNvpList::Node(int AIndex) const {
  return AIndex >= 0 && AIndex < FCount ? FNodes[size_t(AIndex)].get() : nullptr;
}

QString TNvpList::Value(QStringView AName, quint32 AHash) const {
  const TNvpNode* Found = Node(AName, AHash);
  return Found ? Found->Value() : QString();
}

QString TNvpList::Value(int AIndex) const {
  const TNvpNode* Found = Node(AIndex);
  return Found ? Found->Value() : QString();
}

QString TNvpList::Name(int AIndex) const {
  const TNvpNode* Found = Node(AIndex);
  return Found ? Found->Name().toString() : QString();
}

// --- TAttrList ---

const char16_t* TAttrList::Analyze(const char16_t* AStart) {
  return Walk(AStart, AStart + std::char_traits<char16_t>::length(AStart), wmCopy, nullptr);
}

TAttr& TAttrList::AppendNewNode() {
  auto Node = std::make_unique<TAttr>();
  TAttr& Attr = *Node;
  if (size_t(FCount) < FNodes.size()) {
    FNodes[size_t(FCount)] = std::move(Node);
  } else {
    FNodes.push_back(std::move(Node));
  }
  if (FOwnNodes == FCount) {
    ++FOwnNodes;
  }
  ++FCount;
  return Attr;
}

void TAttrList::NormalizeWhenRead(TXmlParser* AParser) {
  for (int I = 0; I < FCount; ++I) {
    TNvpNode& Node = *FNodes[size_t(I)];
    const QStringView Raw = Node.FRawValue;
    if (Node.FReferring &&
        std::any_of(Raw.begin(), Raw.end(), [](QChar C) { return In(Normalized, C.unicode()); })) {
      Node.FNormalizer = AParser;
    }
  }
}

const char16_t* TAttrList::Walk(const char16_t* AStart, const char16_t* ALimit, TWalkMode AMode,
                                TXmlParser* AParser) {
  if (AMode == wmCopy) {
    Clear();
  } else {
    // The spares are refilled at once; letting them go first would only cost time.
    FCount = 0;
  }
  FOverflowed = false;
  const char16_t* P = AStart;
  for (;;) {
    while (IsBlank(*P)) {
      ++P;
    }
    // A NUL or ">" stops the walk wherever it comes, and so does anything that cannot begin a name
    // where one is expected.
    if (!IsAttrNameStart(*P)) {
      return P;
    }
    const char16_t* NameBegin = P;
    do {
      ++P;
    } while (!In(AttrNameStops, *P));
    const QStringView Name(NameBegin, P - NameBegin);
    // Up to the "=", then up to the opening quote, skipping whatever else comes.
    while (*P != u'=') {
      if (*P == 0 || *P == u'>') {
        return P;
      }
      ++P;
    }
    do {
      ++P;
      if (*P == 0 || *P == u'>') {
        return P;
      }
    } while (*P != u'"' && *P != u'\'');
    const char16_t Quote = *P;
    const char16_t* ValueBegin = P + 1;
    const char16_t* Q = ValueBegin;
    bool Special = false;
    for (;; ++Q) {
      Q = SkipPlainValue(Q, ALimit, Quote);
      if (*Q == Quote || *Q == 0) {
        break;
      }
      Special = Special || In(Normalized, *Q);
    }
    if (FMaxCount > 0 && FCount == FMaxCount) {
      FOverflowed = true;
      return NameBegin;
    }
    const QStringView Value(ValueBegin, Q - ValueBegin);
    TAttr& Attr = AppendNode();
    if (AMode == wmCopy) {
      Attr.SetName(Name);
      Attr.SetValue(Value.toString());
    } else {
      Attr.Refer(Name, Value, AMode == wmReferNormalized && Special ? AParser : nullptr);
    }
    // Without its closing quote the value ran to the end of the document.
    P = *Q == 0 ? Q : Q + 1;
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
    // Sharing the caller's text is as good as a copy: neither side can change it under the other.
    FBuffer = AText;
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
  FCurAttr.FOverflowed = false;
  FAttributeLimitReached = false;
}

bool TXmlParser::Scan() {
  for (;;) {
    // FCurFinal is -1 before the first part.
    const char16_t* P = FData + FCurFinal + 1;
    if (*P == 0) {
      FCurStart = P - FData;
      SetFinalAtEnd(P);
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
    if (FCurAttr.Overflowed()) {
      // What the part would hold is not known; the document counts as exhausted here.
      FAttributeLimitReached = true;
      FCurStart = FLength;
      FCurFinal = FLength - 1;
      return false;
    }
    FCurStart = Start;
    return true;
  }
}

void TXmlParser::ScanXmlDeclaration(const char16_t* AStart) {
  FCurPartType = ptXmlProlog;
  FCurName.clear();
  FCurContent.clear();
  const char16_t* Stop = FCurAttr.Walk(AStart + 5, FData + FLength, TAttrList::wmRefer, this);
  FXmlVersion = FCurAttr.Value(u"version");
  FEncoding = FCurAttr.Value(u"encoding");
  FStandalone = FCurAttr.Value(u"standalone") == u"yes";
  // Only recorded: the text is already made of characters.
  FCurEncoding = FEncoding.isEmpty() ? QStringLiteral("UTF-8") : FEncoding.toUpper();
  const char16_t* Close = Find(Stop, u"?>");
  *Close != 0 ? SetFinal(Close + 1) : SetFinalAtEnd(Close);
}

void TXmlParser::ScanProcessingInstruction(const char16_t* AStart) {
  FCurPartType = ptPI;
  const char16_t* TargetEnd = AStart + 2;
  while (!In(TargetStops, *TargetEnd)) {
    ++TargetEnd;
  }
  AssignRange(FCurName, AStart + 2, TargetEnd);
  FCurAttr.Walk(TargetEnd, FData + FLength, TAttrList::wmRefer, this);
  // The target holds no "?", so the close lies at or after its end.
  const char16_t* Close = Find(AStart + 2, u"?>");
  AssignRange(FCurContent, TargetEnd, Close);
  *Close != 0 ? SetFinal(Close + 1) : SetFinalAtEnd(Close);
}

void TXmlParser::ScanComment(const char16_t* AStart) {
  FCurPartType = ptComment;
  const char16_t* Close = Find(AStart + 4, u"-->");
  *Close != 0 ? SetFinal(Close + 2) : SetFinalAtEnd(Close);
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
    if (C == 0) {
      SetFinalAtEnd(P);
      return;
    }
    if (InSubset && StartsWith(P, u"<!--")) {
      P = Find(P + 4, u"-->");
      P += *P != 0 ? 3 : 0;
    } else if (InSubset && StartsWith(P, u"<?")) {
      P = Find(P + 2, u"?>");
      P += *P != 0 ? 2 : 0;
    } else if (C == u'"' || C == u'\'') {
      do {
        ++P;
      } while (*P != 0 && *P != C);
      P += *P != 0 ? 1 : 0;
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
    }
  }
}

void TXmlParser::ScanCData(const char16_t* AStart) {
  FCurPartType = ptCData;
  const char16_t* Close = Find(AStart + 9, u"]]>");
  AssignRange(FCurContent, AStart + 9, Close);
  *Close != 0 ? SetFinal(Close + 2) : SetFinalAtEnd(Close);
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
  // Tags in a row mostly share their name.
  if (!SameText(FCurName, QStringView(NameBegin, P - NameBegin))) {
    AssignRange(FCurName, NameBegin, P);
  }
  const char16_t* Stop = FCurAttr.Walk(
      P, FData + FLength, Type == ptStartTag ? TAttrList::wmReferNormalized : TAttrList::wmRefer, this);
  if (*Stop == u'/') {
    if (Type == ptEndTag) {
      // Read unnormalised above; an end tag that turns out empty is normalised like any empty tag.
      FCurAttr.NormalizeWhenRead(this);
    }
    Type = ptEmptyTag;
  }
  FCurPartType = Type;
  const char16_t* Close = Stop;
  while (*Close != 0 && *Close != u'>') {
    ++Close;
  }
  *Close != 0 ? SetFinal(Close) : SetFinalAtEnd(Close);
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
      QString Scratch;
      Text.append(Reference(QStringView(P + 1, Semicolon), Scratch));
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

QString TXmlParser::NormalizeValue(QStringView ARaw, qsizetype AMaxLength) {
  const char16_t* const End = ARaw.utf16() + ARaw.size();
  // Blanks keep the length and a named reference only shortens the value; only a character
  // reference may give more than it replaces. So the value never needs more room than the rest
  // of the raw text gives, or the limit.
  QString Value(std::min(ARaw.size(), AMaxLength), Qt::Uninitialized);
  char16_t* Out = reinterpret_cast<char16_t*>(Value.data());
  qsizetype Written = 0;
  QString Scratch;
  // Each "&" searches further right than the one before, so one failed search answers the rest.
  bool NoSemicolon = false;
  const char16_t* P = ARaw.utf16();
  while (P < End && Written < AMaxLength) {
    const char16_t C = *P;
    if (C == u'&' && !NoSemicolon) {
      const char16_t* From = P + 2;
      const char16_t* Semicolon = From < End ? std::find(From, End, u';') : End;
      if (Semicolon != End) {
        const QStringView Text = Reference(QStringView(P + 1, Semicolon), Scratch);
        P = Semicolon + 1;
        const qsizetype Wanted = std::min(Written + Text.size() + (End - P), AMaxLength);
        if (Wanted > Value.size()) {
          Value.resize(Wanted);
          Out = reinterpret_cast<char16_t*>(Value.data());
        }
        const qsizetype Count = std::min(Text.size(), AMaxLength - Written);
        std::copy(Text.utf16(), Text.utf16() + Count, Out + Written);
        Written += Count;
        continue;
      }
      NoSemicolon = From < End;
    }
    Out[Written++] = C == u'\t' || C == u'\n' || C == u'\r' ? u' ' : C;
    ++P;
  }
  Value.truncate(Written);
  return Value;
}

QStringView TXmlParser::Reference(QStringView AName, QString& AScratch) {
  if (AName == u"lt") {
    return u"<";
  }
  if (AName == u"gt") {
    return u">";
  }
  if (AName == u"amp") {
    return u"&";
  }
  if (AName == u"apos") {
    return u"'";
  }
  if (AName == u"quot") {
    return u"\"";
  }
  if (!AName.isEmpty() && AName[0] == u'#') {
    const char16_t* Digits = AName.utf16() + 1;
    AScratch = TranslateCharacter(CharacterCode(Digits, AName.utf16() + AName.size()));
    return AScratch;
  }
  return AName;
}

QString TXmlParser::TranslateCharacter(quint32 ACode) {
  // From 128 up only what Windows-1252 can hold; the character is the code point itself.
  if (ACode < 128 || (ACode <= 0xFFFF && UnicodeToWindows1252(char16_t(ACode)) >= 0)) {
    return QString(QChar(char16_t(ACode)));
  }
  return QStringLiteral("?");
}

}  // namespace wavenard
