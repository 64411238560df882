#include <cfloat>
#include <charconv>
#include <cmath>
#include <limits>
#include <memory>
#include <vector>

#include "config/collection.h"
#include "config/failures.h"
#include "config/object_text.h"

#include "config/identifier_chars.h"
#include "support/hex_digits.h"
#include "support/windows1252.h"

namespace wavenard {

namespace {

// A line of this many bytes or more before its line feed is refused.
constexpr qsizetype MaxLineBytes = 4095;
// Lists, collections and object blocks nest at most this deep, so no text can exhaust the stack.
constexpr int MaxNesting = 256;

const QString InvalidValue = QStringLiteral("Invalid property value");
const QString IdentifierExpected = QStringLiteral("Identifier expected");

struct TLine;
struct TValue;

// The parts of list, set, collection and binary values, kept apart so plain values stay small.
struct TCompoundValue {
  std::vector<TValue> Elements;
  QStringList Members;
  std::vector<std::vector<TLine>> Items;
  QByteArray Bytes;
};

// A value as the text holds it, before it meets a property.
struct TValue {
  enum class TType { Identifier, Integer, Float, String, List, Set, Collection, Binary };
  TType Type = TType::Identifier;
  bool Suffixed = false;  // a float with c, d or s after it
  qint64 Integer = 0;
  double Float = 0;
  QString Text;  // identifier path or string
  std::unique_ptr<TCompoundValue> Compound;
};

struct TLine {
  QString Name;
  TValue Value;
};

struct TBlock {
  QString Name;
  std::vector<TLine> Lines;
};

enum class TToken { EndOfText, Identifier, Integer, Float, String, Char };

class TLexer final {
 public:
  TLexer(QString AText, bool AUtf8, int ALongLine)
      : FText(std::move(AText)), FUtf8(AUtf8), FLongLine(ALongLine) {}

  TToken Token() const { return FToken; }
  const QString& Text() const { return FTokenText; }
  // A float token carried a c, d or s suffix.
  bool Suffixed() const { return FSuffixed; }
  bool IsChar(char16_t AChar) const { return FToken == TToken::Char && FChar == AChar; }
  bool IsKeyword(QStringView AKeyword) const {
    return FToken == TToken::Identifier && FTokenText.compare(AKeyword, Qt::CaseInsensitive) == 0;
  }

  [[noreturn]] void Fail(const QString& AReason) const { FailOn(AReason, FTokenLine); }
  [[noreturn]] static void FailOn(const QString& AReason, int ALine) {
    throw ESyntaxFailure(QStringLiteral("%1 on line %2").arg(AReason).arg(ALine));
  }

  void Next() {
    SkipBlanks();
    FTokenLine = FLine;
    FTokenText.clear();
    if (FPos >= FText.size()) {
      FToken = TToken::EndOfText;
      return;
    }
    const char16_t C = FText[FPos].unicode();
    if (IsIdentifierStart(FPos)) {
      ReadIdentifier();
    } else if ((C >= u'0' && C <= u'9') || C == u'-') {
      ReadNumber();
    } else if (C == u'$') {
      ReadHexNumber();
    } else if (C == u'\'' || C == u'#') {
      ReadString();
    } else {
      FToken = TToken::Char;
      FChar = C;
      ++FPos;
    }
  }

  // The digits of a binary value up to its closing bracket, which the current "{" token opens.
  QByteArray ReadBinary() {
    QByteArray Digits;
    for (;;) {
      SkipBlanks();
      if (FPos >= FText.size()) {
        FailOn(QStringLiteral("Invalid binary value"), FLine);
      }
      const char16_t C = FText[FPos].unicode();
      ++FPos;
      if (C == u'}') {
        break;
      }
      if (!IsHexDigit(C)) {
        FailOn(QStringLiteral("Invalid binary value"), FLine);
      }
      Digits += static_cast<char>(C);
    }
    if (Digits.size() % 2 != 0) {
      FailOn(QStringLiteral("Invalid binary value"), FLine);
    }
    return QByteArray::fromHex(Digits);
  }

 private:
  // The code point at APos and the number of code units it takes.
  char32_t CodePointAt(qsizetype APos, int& ALength) const {
    const QChar C = FText[APos];
    if (C.isHighSurrogate() && APos + 1 < FText.size() && FText[APos + 1].isLowSurrogate()) {
      ALength = 2;
      return QChar::surrogateToUcs4(C, FText[APos + 1]);
    }
    ALength = 1;
    return C.unicode();
  }

  // The length of the identifier character at APos, 0 when there is none there.
  int IdentifierCharAt(qsizetype APos, bool AStart) const {
    if (APos >= FText.size()) {
      return 0;
    }
    const char16_t C = FText[APos].unicode();
    if (C < 128) {
      return IsNameChar(C, AStart) ? 1 : 0;
    }
    // Outside ASCII only a UTF-8 text has letters; in an 8-bit text these are characters of their own.
    if (!FUtf8) {
      return 0;
    }
    int Length = 0;
    const char32_t Code = CodePointAt(APos, Length);
    return IsNameChar(Code, AStart) ? Length : 0;
  }

  bool IsIdentifierStart(qsizetype APos) const { return IdentifierCharAt(APos, true) > 0; }

  void NewLine() {
    ++FLine;
    if (FLine == FLongLine) {
      FailOn(QStringLiteral("Line too long"), FLine);
    }
  }

  void SkipBlanks() {
    if (FLine == FLongLine) {
      FailOn(QStringLiteral("Line too long"), FLine);
    }
    while (FPos < FText.size()) {
      const char16_t C = FText[FPos].unicode();
      if (C == 0 || C > 32) {
        return;
      }
      ++FPos;
      if (C == u'\n') {
        NewLine();
      }
    }
  }

  void ReadIdentifier() {
    const qsizetype Start = FPos;
    for (;;) {
      while (const int Length = IdentifierCharAt(FPos, false)) {
        FPos += Length;
      }
      if (FPos >= FText.size() || FText[FPos] != u'.') {
        break;
      }
      if (!IsIdentifierStart(FPos + 1)) {
        Fail(IdentifierExpected);
      }
      ++FPos;
    }
    FToken = TToken::Identifier;
    FTokenText = FText.sliced(Start, FPos - Start);
  }

  void ReadNumber() {
    const qsizetype Start = FPos;
    ++FPos;
    while (FPos < FText.size() && FText[FPos].unicode() >= u'0' && FText[FPos].unicode() <= u'9') {
      ++FPos;
    }
    FToken = TToken::Integer;
    const auto IsFloatChar = [](char16_t C) {
      return (C >= u'0' && C <= u'9') || C == u'+' || C == u'-' || C == u'.' || C == u'E' || C == u'e';
    };
    if (FPos < FText.size() && IsFloatChar(FText[FPos].unicode())) {
      while (FPos < FText.size() && IsFloatChar(FText[FPos].unicode())) {
        ++FPos;
      }
      FToken = TToken::Float;
    }
    FTokenText = FText.sliced(Start, FPos - Start);
    if (FToken == TToken::Float && FPos < FText.size()) {
      const char16_t Suffix = FText[FPos].unicode();
      if (QStringView(u"cCdDsS").contains(QChar(Suffix))) {
        FSuffixed = true;
        ++FPos;
        return;
      }
    }
    FSuffixed = false;
  }

  void ReadHexNumber() {
    const qsizetype Start = FPos;
    ++FPos;
    while (FPos < FText.size() && IsHexDigit(FText[FPos].unicode())) {
      ++FPos;
    }
    FToken = TToken::Integer;
    FTokenText = FText.sliced(Start, FPos - Start);
  }

  void ReadString() {
    const QString Invalid = QStringLiteral("Invalid string constant");
    FToken = TToken::String;
    while (FPos < FText.size()) {
      const char16_t C = FText[FPos].unicode();
      if (C == u'\'') {
        ++FPos;
        for (;;) {
          if (FPos >= FText.size() || FText[FPos] == u'\r' || FText[FPos] == u'\n') {
            Fail(Invalid);
          }
          if (FText[FPos] == u'\'') {
            if (FPos + 1 < FText.size() && FText[FPos + 1] == u'\'') {
              FTokenText += u'\'';
              FPos += 2;
              continue;
            }
            ++FPos;
            break;
          }
          const qsizetype RunStart = FPos;
          while (FPos < FText.size() && FText[FPos] != u'\'' && FText[FPos] != u'\r' &&
                 FText[FPos] != u'\n') {
            ++FPos;
          }
          FTokenText += QStringView(FText).sliced(RunStart, FPos - RunStart);
        }
      } else if (C == u'#') {
        ++FPos;
        const bool Hex = FPos < FText.size() && FText[FPos] == u'$';
        if (Hex) {
          ++FPos;
        }
        const qsizetype Start = FPos;
        while (FPos < FText.size() &&
               (Hex ? IsHexDigit(FText[FPos].unicode())
                    : FText[FPos].unicode() >= u'0' && FText[FPos].unicode() <= u'9')) {
          ++FPos;
        }
        const QByteArray Digits = FText.sliced(Start, FPos - Start).toLatin1();
        unsigned Code = 0;
        const auto [End, Error] = std::from_chars(Digits.cbegin(), Digits.cend(), Code, Hex ? 16 : 10);
        if (Digits.isEmpty() || Error != std::errc() || End != Digits.cend() || Code > 0xFFFF) {
          Fail(Invalid);
        }
        FTokenText += QChar(static_cast<char16_t>(Code));
      } else {
        break;
      }
    }
  }

  QString FText;
  bool FUtf8;
  int FLongLine;
  qsizetype FPos = 0;
  int FLine = 1;
  TToken FToken = TToken::EndOfText;
  int FTokenLine = 1;
  QString FTokenText;
  char16_t FChar = 0;
  bool FSuffixed = false;
};

class TParser final {
 public:
  explicit TParser(TLexer& ALexer) : FLexer(ALexer) {}

  // Reads the one object block of the text; whatever follows its "end" is not looked at.
  TBlock ParseText() {
    FLexer.Next();
    if (!IsObjectKeyword()) {
      FLexer.Fail(QStringLiteral("OBJECT expected"));
    }
    return ParseObject();
  }

 private:
  bool IsObjectKeyword() const {
    return FLexer.IsKeyword(u"object") || FLexer.IsKeyword(u"inherited") || FLexer.IsKeyword(u"inline");
  }

  void Enter() {
    if (++FDepth > MaxNesting) {
      FLexer.Fail(InvalidValue);
    }
  }

  void ExpectChar(char16_t AChar) {
    if (!FLexer.IsChar(AChar)) {
      FLexer.Fail(QStringLiteral("'%1' expected").arg(QChar(AChar)));
    }
    FLexer.Next();
  }

  void ExpectIdentifier() const {
    if (FLexer.Token() != TToken::Identifier) {
      FLexer.Fail(IdentifierExpected);
    }
  }

  qint64 IntegerValue(const QString& AReason) const {
    const QByteArray Digits = FLexer.Text().toLatin1();
    const bool Hex = Digits.startsWith('$');
    const char* First = Digits.cbegin() + (Hex ? 1 : 0);
    qint64 Value = 0;
    std::from_chars_result Result{};
    if (Hex) {
      quint64 Bits = 0;
      Result = std::from_chars(First, Digits.cend(), Bits, 16);
      Value = static_cast<qint64>(Bits);
    } else {
      Result = std::from_chars(First, Digits.cend(), Value);
    }
    if (First == Digits.cend() || Result.ec != std::errc() || Result.ptr != Digits.cend()) {
      FLexer.Fail(AReason);
    }
    return Value;
  }

  // An optional order number "[n]" after a header or "item".
  void SkipOrderNumber() {
    if (!FLexer.IsChar(u'[')) {
      return;
    }
    FLexer.Next();
    if (FLexer.Token() != TToken::Integer) {
      FLexer.Fail(QStringLiteral("Number expected"));
    }
    IntegerValue(QStringLiteral("Number expected"));
    FLexer.Next();
    ExpectChar(u']');
  }

  // The current token opens the block; the block's "end" stays the current token.
  TBlock ParseObject() {
    Enter();
    TBlock Block;
    FLexer.Next();
    ExpectIdentifier();
    QString First = FLexer.Text();
    FLexer.Next();
    if (FLexer.IsChar(u':')) {
      FLexer.Next();
      ExpectIdentifier();
      Block.Name = std::move(First);
      FLexer.Next();
    }
    SkipOrderNumber();
    while (!FLexer.IsKeyword(u"end") && !IsObjectKeyword()) {
      Block.Lines.push_back(ParseLine());
    }
    // Nested blocks are read for their syntax only; a record has no owned components to fill.
    while (!FLexer.IsKeyword(u"end")) {
      if (!IsObjectKeyword()) {
        FLexer.Fail(QStringLiteral("OBJECT expected"));
      }
      ParseObject();
      FLexer.Next();
    }
    --FDepth;
    return Block;
  }

  TLine ParseLine() {
    ExpectIdentifier();
    TLine Line;
    Line.Name = FLexer.Text();
    FLexer.Next();
    while (FLexer.IsChar(u'.')) {
      FLexer.Next();
      ExpectIdentifier();
      Line.Name += u'.';
      Line.Name += FLexer.Text();
      FLexer.Next();
    }
    ExpectChar(u'=');
    Line.Value = ParseValue();
    return Line;
  }

  TValue ParseValue() {
    TValue Value;
    switch (FLexer.Token()) {
      case TToken::Identifier:
        Value.Type = TValue::TType::Identifier;
        Value.Text = FLexer.Text();
        FLexer.Next();
        return Value;
      case TToken::Integer:
        Value.Type = TValue::TType::Integer;
        Value.Integer = IntegerValue(InvalidValue);
        FLexer.Next();
        return Value;
      case TToken::Float:
        Value.Type = TValue::TType::Float;
        Value.Float = FloatValue();
        Value.Suffixed = FLexer.Suffixed();
        FLexer.Next();
        return Value;
      case TToken::String:
        Value.Type = TValue::TType::String;
        Value.Text = FLexer.Text();
        FLexer.Next();
        while (FLexer.IsChar(u'+')) {
          FLexer.Next();
          if (FLexer.Token() != TToken::String) {
            FLexer.Fail(QStringLiteral("String expected"));
          }
          Value.Text += FLexer.Text();
          FLexer.Next();
        }
        return Value;
      case TToken::Char:
        break;
      case TToken::EndOfText:
        FLexer.Fail(InvalidValue);
    }
    if (FLexer.IsChar(u'(')) {
      Value.Type = TValue::TType::List;
      Value.Compound = std::make_unique<TCompoundValue>();
      Enter();
      FLexer.Next();
      while (!FLexer.IsChar(u')')) {
        Value.Compound->Elements.push_back(ParseValue());
      }
      --FDepth;
    } else if (FLexer.IsChar(u'[')) {
      Value.Type = TValue::TType::Set;
      Value.Compound = std::make_unique<TCompoundValue>();
      FLexer.Next();
      if (!FLexer.IsChar(u']')) {
        for (;;) {
          Value.Compound->Members.push_back(SetMember());
          FLexer.Next();
          if (FLexer.IsChar(u']')) {
            break;
          }
          ExpectChar(u',');
        }
      }
    } else if (FLexer.IsChar(u'<')) {
      Value.Type = TValue::TType::Collection;
      Value.Compound = std::make_unique<TCompoundValue>();
      Enter();
      FLexer.Next();
      while (!FLexer.IsChar(u'>')) {
        if (!FLexer.IsKeyword(u"item")) {
          FLexer.Fail(QStringLiteral("item expected"));
        }
        FLexer.Next();
        SkipOrderNumber();
        std::vector<TLine>& Lines = Value.Compound->Items.emplace_back();
        while (!FLexer.IsKeyword(u"end")) {
          Lines.push_back(ParseLine());
        }
        FLexer.Next();
      }
      --FDepth;
    } else if (FLexer.IsChar(u'{')) {
      Value.Type = TValue::TType::Binary;
      Value.Compound = std::make_unique<TCompoundValue>();
      Value.Compound->Bytes = FLexer.ReadBinary();
    } else {
      FLexer.Fail(InvalidValue);
    }
    FLexer.Next();
    return Value;
  }

  // A set member as a name; numbers and characters never name an enumeration value.
  QString SetMember() const {
    switch (FLexer.Token()) {
      case TToken::Identifier:
        return FLexer.Text();
      case TToken::Integer:
        return QString::number(IntegerValue(InvalidValue));
      case TToken::String:
        return FLexer.Text().isEmpty() ? QStringLiteral("#")
                                       : QStringLiteral("#%1").arg(FLexer.Text()[0].unicode());
      default:
        FLexer.Fail(IdentifierExpected);
    }
  }

  double FloatValue() const {
    const QByteArray Digits = FLexer.Text().toLatin1();
    double Value = 0;
    const auto [End, Error] = std::from_chars(Digits.cbegin(), Digits.cend(), Value);
    if (Error != std::errc() || End != Digits.cend() || !std::isfinite(Value)) {
      FLexer.Fail(InvalidValue);
    }
    return Value;
  }

  TLexer& FLexer;
  int FDepth = 0;
};

// The first line, counted from 1, that holds MaxLineBytes bytes or more before its line feed; 0 for none.
int FirstLongLine(QByteArrayView ABytes) {
  int Line = 1;
  qsizetype LineStart = 0;
  for (;;) {
    qsizetype Feed = ABytes.indexOf('\n', LineStart);
    const qsizetype End = Feed < 0 ? ABytes.size() : Feed;
    if (End - LineStart >= MaxLineBytes) {
      return Line;
    }
    if (Feed < 0) {
      return 0;
    }
    LineStart = Feed + 1;
    ++Line;
  }
}

TBlock Parse(QByteArrayView AText) {
  if (AText.startsWith("\xFF\xFE") || AText.startsWith("\xFE\xFF")) {
    TLexer::FailOn(QStringLiteral("ANSI or UTF8 encoding expected"), 1);
  }
  const bool Utf8 = AText.startsWith("\xEF\xBB\xBF");
  const QByteArrayView Bytes = Utf8 ? AText.sliced(3) : AText;
  TLexer Lexer(Utf8 ? QString::fromUtf8(Bytes) : DecodeWindows1252(Bytes), Utf8, FirstLongLine(Bytes));
  return TParser(Lexer).ParseText();
}

class TApplier final {
 public:
  void ApplyRecord(const TBlock& ABlock, TComponent& ARecord) {
    const TValueAccess Access(ARecord);
    if (!ABlock.Name.isEmpty()) {
      ARecord.SetName(ABlock.Name);
    }
    ApplyLines(ABlock.Lines, ARecord);
  }

 private:
  void ApplyLines(const std::vector<TLine>& ALines, TPersistent& AObject) {
    for (const TLine& Line : ALines) {
      ApplyLine(Line, AObject);
    }
  }

  void ApplyLine(const TLine& ALine, TPersistent& AObject) {
    const QStringView Name(ALine.Name);
    TPersistent* Target = &AObject;
    qsizetype PartStart = 0;
    for (qsizetype Dot = Name.indexOf(u'.'); Dot >= 0; Dot = Name.indexOf(u'.', PartStart)) {
      const TPropertyInfo* Info = Target->PropertyTable().Find(Name.sliced(PartStart, Dot - PartStart));
      PartStart = Dot + 1;
      if (Info == nullptr) {
        return;
      }
      if (Info->Kind == TPropertyKind::Object) {
        Target = std::get<TNestedAccess<TPersistent>>(Info->Access).Edit(*Target);
        if (Target == nullptr) {
          return;
        }
      } else if (Info->Kind == TPropertyKind::StringList &&
                 Name.sliced(PartStart).compare(u"Strings", Qt::CaseInsensitive) == 0) {
        if (QStringList* List = std::get<TNestedAccess<QStringList>>(Info->Access).Edit(*Target);
            List != nullptr && Info->Writable) {
          const TValueAccess Access(*Target);
          ApplyStrings(ALine, *List);
        }
        return;
      } else {
        return;
      }
    }
    const TPropertyInfo* Info = Target->PropertyTable().Find(Name.sliced(PartStart));
    if (Info != nullptr && Info->Writable) {
      const TValueAccess Access(*Target);
      ApplyValue(*Info, *Target, ALine.Value);
    }
  }

  static void ApplyStrings(const TLine& ALine, QStringList& AList) {
    const TValue& Value = ALine.Value;
    const auto IsString = [](const TValue& AElement) { return AElement.Type == TValue::TType::String; };
    if (Value.Type != TValue::TType::List ||
        !std::all_of(Value.Compound->Elements.cbegin(), Value.Compound->Elements.cend(), IsString)) {
      throw EFileFailure(QStringLiteral("Error reading %1: %2").arg(ALine.Name, InvalidValue));
    }
    AList.clear();
    for (const TValue& Element : Value.Compound->Elements) {
      AList.append(Element.Text);
    }
  }

  void ApplyValue(const TPropertyInfo& AInfo, TPersistent& AObject, const TValue& AValue) {
    using TType = TValue::TType;
    switch (AInfo.Kind) {
      case TPropertyKind::Integer:
        if (AValue.Type == TType::Integer && AValue.Integer >= std::numeric_limits<qint32>::min() &&
            AValue.Integer <= std::numeric_limits<qint32>::max()) {
          SetOrdinal(AInfo, AObject, AValue.Integer);
        }
        return;
      case TPropertyKind::Int64:
        if (AValue.Type == TType::Integer) {
          SetOrdinal(AInfo, AObject, AValue.Integer);
        }
        return;
      case TPropertyKind::Boolean:
      case TPropertyKind::Enumeration:
        if (AValue.Type == TType::Identifier) {
          if (const int Ordinal = AInfo.Names.Find(AValue.Text); Ordinal >= 0) {
            SetOrdinal(AInfo, AObject, Ordinal);
          }
        }
        return;
      case TPropertyKind::Set:
        if (AValue.Type == TType::Set) {
          quint32 Mask = 0;
          for (const QString& Member : AValue.Compound->Members) {
            if (const int Ordinal = AInfo.Names.Find(Member); Ordinal >= 0 && Ordinal < 32) {
              Mask |= quint32{1} << Ordinal;
            }
          }
          SetOrdinal(AInfo, AObject, Mask);
        }
        return;
      case TPropertyKind::Character:
        if (AValue.Type == TType::String && AValue.Text.size() == 1) {
          SetOrdinal(AInfo, AObject, AValue.Text[0].unicode());
        }
        return;
      case TPropertyKind::Float: {
        const TFloatAccess& Access = std::get<TFloatAccess>(AInfo.Access);
        double Number = 0;
        if (AValue.Type == TType::Float && !AValue.Suffixed) {
          Number = AValue.Float;
        } else if (AValue.Type == TType::Integer) {
          Number = static_cast<double>(AValue.Integer);
        } else {
          return;
        }
        if (!Access.Single || std::fabs(Number) <= FLT_MAX) {
          Access.Set(AObject, Number);
        }
        return;
      }
      case TPropertyKind::String:
        if (AValue.Type == TType::String) {
          std::get<TTextAccess>(AInfo.Access).Set(AObject, AValue.Text);
        }
        return;
      case TPropertyKind::Reference:
        if (AValue.Type == TType::Identifier && BooleanNames().Find(AValue.Text) < 0) {
          const bool Empty = AValue.Text.compare(u"nil", Qt::CaseInsensitive) == 0 ||
                             AValue.Text.compare(u"null", Qt::CaseInsensitive) == 0;
          std::get<TTextAccess>(AInfo.Access).Set(AObject, Empty ? QString() : AValue.Text);
        }
        return;
      case TPropertyKind::Binary:
        if (AValue.Type == TType::Binary) {
          std::get<TBytesAccess>(AInfo.Access).Set(AObject, AValue.Compound->Bytes);
        }
        return;
      case TPropertyKind::Collection:
        if (AValue.Type == TType::Collection && !AValue.Compound->Items.empty()) {
          TCollection* Collection = std::get<TNestedAccess<TCollection>>(AInfo.Access).Edit(AObject);
          if (Collection == nullptr) {
            return;
          }
          Collection->Clear();
          for (const std::vector<TLine>& Lines : AValue.Compound->Items) {
            TCollectionItem& Item = Collection->Add();
            const TValueAccess Access(Item);
            ApplyLines(Lines, Item);
          }
        }
        return;
      case TPropertyKind::StringList:
      case TPropertyKind::Object:
        // Only reached through their entries and prefixes.
        return;
    }
  }

  static void SetOrdinal(const TPropertyInfo& AInfo, TPersistent& AObject, qint64 AValue) {
    std::get<TOrdinalAccess>(AInfo.Access).Set(AObject, AValue);
  }
};

}  // namespace

void ReadObjectText(QByteArrayView AText, TComponent& ARecord) {
  const TBlock Block = Parse(AText);
  TApplier().ApplyRecord(Block, ARecord);
}

}  // namespace wavenard
