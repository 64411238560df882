#include <QList>
#include <algorithm>
#include <charconv>
#include <cmath>

#include "config/collection.h"
#include "config/object_text.h"

#include "config/identifier_chars.h"

namespace wavenard {

namespace {

// A split string holds at most this many code units per line.
constexpr qsizetype LineUnits = 64;
constexpr qsizetype BinaryLineBytes = 32;
constexpr int FloatDigits = 16;
constexpr int FloatDecimals = 18;

bool IsSpecial(char16_t AUnit) {
  return AUnit < 32 || AUnit == u'\'' || AUnit > 127;
}

// The shortest form with an exponent of a number in scientific notation ("d.ddd...e[+-]x").
QByteArray ExponentForm(QByteArrayView AScientific) {
  const qsizetype ExponentAt = AScientific.indexOf('e');
  QByteArray Mantissa = AScientific.first(ExponentAt).toByteArray();
  while (Mantissa.endsWith('0')) {
    Mantissa.chop(1);
  }
  if (Mantissa.endsWith('.')) {
    Mantissa.chop(1);
  }
  return Mantissa + 'E' + QByteArray::number(AScientific.sliced(ExponentAt + 1).toByteArray().toInt());
}

// Fixed point with 18 decimals after rounding to 16 significant digits (and to 18 decimals, where
// that keeps fewer); values of 1E16 and more in magnitude in the shortest exponent form instead.
QByteArray FormatFloat(double AValue) {
  // Infinities and NaN have no form that reads back; the records never hold them.
  if (!std::isfinite(AValue) || AValue == 0) {
    AValue = 0;
  }
  char Buffer[64];
  auto Result =
      std::to_chars(Buffer, Buffer + sizeof Buffer, AValue, std::chars_format::scientific, FloatDigits - 1);
  const QByteArrayView Scientific(Buffer, Result.ptr);
  const qsizetype ExponentAt = Scientific.indexOf('e');
  const int Exponent = Scientific.sliced(ExponentAt + 1).toByteArray().toInt();
  if (Exponent >= FloatDigits) {
    return ExponentForm(Scientific);
  }
  const int Decimals = std::min(FloatDecimals, FloatDigits - 1 - Exponent);
  char Fixed[64];
  Result = std::to_chars(Fixed, Fixed + sizeof Fixed, AValue, std::chars_format::fixed, Decimals);
  QByteArray Text(Fixed, Result.ptr - Fixed);
  // A value too small for 18 decimals would read back as zero, which is then left out as the
  // default and comes back as the constructor's value: it keeps its digits in the exponent form.
  if (AValue != 0 &&
      std::all_of(Text.cbegin(), Text.cend(), [](char C) { return C == '-' || C == '0' || C == '.'; })) {
    return ExponentForm(Scientific);
  }
  if (Decimals == 0) {
    Text += '.';
  }
  Text.append(FloatDecimals - Decimals, '0');
  return Text;
}

// Whether a record's name reads back from the header: an identifier path of limited length. A
// name set through its property line may be any text, and a header that does not read back would
// make the whole file unreadable.
bool IsHeaderName(const QString& AName) {
  constexpr qsizetype MaxNameBytes = 255;
  if (AName.toUtf8().size() > MaxNameBytes) {
    return false;
  }
  for (const QStringView Part : QStringView(AName).tokenize(u'.')) {
    const QList<uint> Codes = Part.toUcs4();
    if (Codes.isEmpty()) {
      return false;
    }
    for (qsizetype I = 0; I < Codes.size(); ++I) {
      if (!IsNameChar(Codes[I], I == 0)) {
        return false;
      }
    }
  }
  return true;
}

class TWriter final {
 public:
  QByteArray Write(const TComponent& ARecord) {
    {
      const TValueAccess Access(ARecord);
      FOut += "object ";
      if (!ARecord.Name().isEmpty() && IsHeaderName(ARecord.Name())) {
        FOut += ARecord.Name().toUtf8();
        FOut += ": ";
      }
      FOut += ARecord.PropertyTable().ClassName().toUtf8();
      FOut += "\r\n";
      WriteProperties(ARecord, QByteArray(), 1);
    }
    FOut += "end\r\n";
    // Values are pure ASCII; only a non-ASCII identifier makes the text UTF-8, marked as such.
    if (std::any_of(FOut.cbegin(), FOut.cend(),
                    [](char C) { return static_cast<unsigned char>(C) >= 0x80; })) {
      FOut.prepend("\xEF\xBB\xBF");
    }
    return FOut;
  }

 private:
  void Indent(int ALevel) { FOut.append(2 * ALevel, ' '); }

  void BeginLine(int ALevel, const QByteArray& APrefix, const QByteArray& AName) {
    Indent(ALevel);
    FOut += APrefix;
    FOut += AName;
    FOut += " = ";
  }

  void WriteProperties(const TPersistent& AObject, const QByteArray& APrefix, int ALevel) {
    for (const TPropertyInfo& Info : AObject.PropertyTable().Properties()) {
      if (Info.Stored && Info.Writable) {
        WriteProperty(AObject, Info, APrefix, ALevel);
      }
    }
  }

  void WriteProperty(const TPersistent& AObject, const TPropertyInfo& Info, const QByteArray& APrefix,
                     int ALevel) {
    switch (Info.Kind) {
      case TPropertyKind::StringList: {
        const QStringList* List = std::get<TNestedAccess<QStringList>>(Info.Access).Get(AObject);
        if (List != nullptr && !List->isEmpty()) {
          BeginLine(ALevel, APrefix, Info.Utf8Name + ".Strings");
          WriteStringList(*List, ALevel);
          FOut += "\r\n";
        }
        return;
      }
      case TPropertyKind::Collection: {
        const TCollection* Collection = std::get<TNestedAccess<TCollection>>(Info.Access).Get(AObject);
        if (Collection != nullptr) {
          BeginLine(ALevel, APrefix, Info.Utf8Name);
          WriteCollection(*Collection, ALevel);
          FOut += "\r\n";
        }
        return;
      }
      case TPropertyKind::Object: {
        const TPersistent* Nested = std::get<TNestedAccess<TPersistent>>(Info.Access).Get(AObject);
        if (Nested != nullptr) {
          const TValueAccess Access(*Nested);
          WriteProperties(*Nested, APrefix + Info.Utf8Name + '.', ALevel);
        }
        return;
      }
      case TPropertyKind::Float: {
        const double Value = std::get<TFloatAccess>(Info.Access).Get(AObject);
        if (!(Info.DeclaredDefault && Value == 0)) {
          BeginLine(ALevel, APrefix, Info.Utf8Name);
          FOut += FormatFloat(Value);
          FOut += "\r\n";
        }
        return;
      }
      case TPropertyKind::String:
      case TPropertyKind::Reference: {
        const QString Value = std::get<TTextAccess>(Info.Access).Get(AObject);
        const bool LeftOut =
            Value.isEmpty() && (Info.Kind == TPropertyKind::Reference || Info.DeclaredDefault);
        if (!LeftOut) {
          BeginLine(ALevel, APrefix, Info.Utf8Name);
          if (Info.Kind == TPropertyKind::String) {
            WriteString(Value, ALevel);
          } else {
            FOut += Value.toUtf8();
          }
          FOut += "\r\n";
        }
        return;
      }
      case TPropertyKind::Binary: {
        const QByteArray Value = std::get<TBytesAccess>(Info.Access).Get(AObject);
        if (!Value.isEmpty()) {
          BeginLine(ALevel, APrefix, Info.Utf8Name);
          WriteBinary(Value, ALevel);
          FOut += "\r\n";
        }
        return;
      }
      case TPropertyKind::Integer:
      case TPropertyKind::Int64:
      case TPropertyKind::Boolean:
      case TPropertyKind::Enumeration:
      case TPropertyKind::Set:
      case TPropertyKind::Character:
        WriteOrdinal(AObject, Info, APrefix, ALevel);
        return;
    }
  }

  void WriteOrdinal(const TPersistent& AObject, const TPropertyInfo& Info, const QByteArray& APrefix,
                    int ALevel) {
    qint64 Value = std::get<TOrdinalAccess>(Info.Access).Get(AObject);
    qint64 Default = Info.DeclaredDefault.value_or(0);
    if (Info.Kind == TPropertyKind::Integer) {
      Value = static_cast<qint32>(Value);
    } else if (Info.Kind == TPropertyKind::Set || Info.Kind == TPropertyKind::Character) {
      Value = static_cast<quint32>(Value);
      Default = static_cast<quint32>(Default);
    }
    if (Info.DeclaredDefault && Value == Default) {
      return;
    }
    BeginLine(ALevel, APrefix, Info.Utf8Name);
    switch (Info.Kind) {
      case TPropertyKind::Boolean:
      case TPropertyKind::Enumeration:
        if (Value >= 0 && Value < Info.Names.Count()) {
          FOut += Info.Names.Utf8Name(static_cast<int>(Value));
        } else {
          FOut += QByteArray::number(Value);
        }
        break;
      case TPropertyKind::Set:
        WriteSet(static_cast<quint32>(Value), Info.Names);
        break;
      case TPropertyKind::Character: {
        const QChar Unit(static_cast<char16_t>(Value));
        WriteString(QStringView(&Unit, 1), ALevel);
        break;
      }
      default:
        FOut += QByteArray::number(Value);
        break;
    }
    FOut += "\r\n";
  }

  void WriteSet(quint32 AMask, const TEnumNames& ANames) {
    FOut += '[';
    bool First = true;
    for (int Ordinal = 0; Ordinal < std::min(ANames.Count(), 32); ++Ordinal) {
      if ((AMask & (quint32{1} << Ordinal)) != 0) {
        if (!First) {
          FOut += ", ";
        }
        FOut += ANames.Utf8Name(Ordinal);
        First = false;
      }
    }
    FOut += ']';
  }

  // ALevel is the level of the line on which the value begins; continuation lines go one deeper.
  void WriteString(QStringView AValue, int ALevel) {
    if (AValue.isEmpty()) {
      FOut += "''";
      return;
    }
    const qsizetype Length = AValue.size();
    if (Length > LineUnits) {
      FOut += "\r\n";
      Indent(ALevel + 1);
    }
    qsizetype LineStart = 0;
    qsizetype I = 0;
    while (I < Length) {
      if (IsSpecial(AValue[I].unicode())) {
        FOut += '#';
        FOut += QByteArray::number(AValue[I].unicode());
        ++I;
      } else {
        const qsizetype Limit = std::min(Length, LineStart + LineUnits);
        FOut += '\'';
        while (I < Limit && !IsSpecial(AValue[I].unicode())) {
          FOut += static_cast<char>(AValue[I].unicode());
          ++I;
        }
        FOut += '\'';
      }
      if (I - LineStart == LineUnits && I < Length) {
        FOut += " +\r\n";
        Indent(ALevel + 1);
        LineStart = I;
      }
    }
  }

  void WriteStringList(const QStringList& AList, int ALevel) {
    FOut += '(';
    for (const QString& Line : AList) {
      FOut += "\r\n";
      Indent(ALevel + 1);
      WriteString(Line, ALevel + 1);
    }
    FOut += ')';
  }

  void WriteCollection(const TCollection& ACollection, int ALevel) {
    FOut += '<';
    for (int I = 0; I < ACollection.Count(); ++I) {
      FOut += "\r\n";
      Indent(ALevel + 1);
      FOut += "item\r\n";
      const TCollectionItem& Item = ACollection.Items(I);
      {
        const TValueAccess Access(Item);
        WriteProperties(Item, QByteArray(), ALevel + 2);
      }
      Indent(ALevel + 1);
      FOut += "end";
    }
    FOut += '>';
  }

  void WriteBinary(const QByteArray& AData, int ALevel) {
    FOut += '{';
    if (AData.size() < BinaryLineBytes) {
      FOut += AData.toHex().toUpper();
    } else {
      for (qsizetype At = 0; At < AData.size(); At += BinaryLineBytes) {
        FOut += "\r\n";
        Indent(ALevel + 1);
        FOut += AData.mid(At, BinaryLineBytes).toHex().toUpper();
      }
    }
    FOut += '}';
  }

  QByteArray FOut;
};

}  // namespace

QByteArray WriteObjectText(const TComponent& ARecord) {
  return TWriter().Write(ARecord);
}

}  // namespace wavenard
