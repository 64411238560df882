#pragma once

#include <QString>
#include <QStringView>
#include <limits>
#include <memory>
#include <vector>

namespace wavenard {

enum TPartType {
  ptNone,
  ptXmlProlog,
  ptComment,
  ptPI,
  ptDtdc,
  ptStartTag,
  ptEmptyTag,
  ptEndTag,
  ptContent,
  ptCData,
};

enum TValueType { vtNormal, vtImplied, vtFixed, vtDefault };

enum TAttrType {
  atUnknown,
  atCData,
  atID,
  atIdRef,
  atIdRefs,
  atEntity,
  atEntities,
  atNmToken,
  atNmTokens,
  atNotation,
  atEnumeration,
};

class TXmlParser;

// A name/value pair. The name carries a cheap hash so that lookups compare texts only where the
// hashes agree.
//
// A node read from a scanner's document refers to the document instead of holding copies: most
// attributes are never looked at, so their values are copied, and normalised where their tag asks
// for it, only when read. Such a node lives no longer than the scanner's current part.
class TNvpNode {
 public:
  explicit TNvpNode(QStringView AName = {}, const QString& AValue = {});
  virtual ~TNvpNode() = default;
  Q_DISABLE_COPY_MOVE(TNvpNode)

  QStringView Name() const { return FName; }
  void SetName(QStringView AName);
  quint32 NameHash() const { return FNameHash; }

  QString Value() const;
  // The value's first ALength characters, or all of it when it is shorter. A long value is never
  // copied or normalised beyond them.
  QString ValueLeft(qsizetype ALength) const;
  void SetValue(const QString& AValue);

  // Length times the sum of the codes of the first, the last and the middle character
  // (position min(length, length div 2 + 1), counted from 1); 0 for an empty name.
  static constexpr quint32 HashName(QStringView AName) {
    const qsizetype Length = AName.size();
    if (Length == 0) {
      return 0;
    }
    // Position min(length, length div 2 + 1) counted from 1 is index length div 2 for any length
    // from 1 up.
    const size_t Size = size_t(Length);
    return quint32(Size) *
           (quint32(AName[0].unicode()) + AName[Length - 1].unicode() + AName[Size / 2].unicode());
  }

 private:
  friend class TNvpList;
  friend class TAttrList;

  // Refers to a name and a value in a document that outlives the node; with ANormalizer the value
  // is normalised by it when read.
  void Refer(QStringView AName, QStringView AValue, TXmlParser* ANormalizer) {
    FName = AName;
    FNameHash = HashName(AName);
    FRawValue = AValue;
    FNormalizer = ANormalizer;
    FReferring = true;
  }

  // Into FOwnedName, or into the document.
  QStringView FName;
  quint32 FNameHash = 0;
  // Whether the value is FRawValue, a part of the document, rather than FValue.
  bool FReferring = false;
  QStringView FRawValue;
  // Set only for values that hold something normalisation changes.
  TXmlParser* FNormalizer = nullptr;
  QString FOwnedName;
  QString FValue;
};

// An attribute as read from a tag: always vtNormal and atUnknown here, since no declarations are
// applied.
class TAttr final : public TNvpNode {
 public:
  using TNvpNode::TNvpNode;

  TValueType ValueType = vtNormal;
  TAttrType AttrType = atUnknown;
};

// Owning list of nodes in insertion order; nodes with the same name are all kept.
class TNvpList {
 public:
  TNvpList() = default;
  virtual ~TNvpList() = default;
  Q_DISABLE_COPY_MOVE(TNvpList)

  int Count() const { return FCount; }
  void Add(std::unique_ptr<TNvpNode> ANode);
  // Empties the list. Node pointers handed out before become invalid; spare nodes let go of the
  // document they referred to.
  void Clear();

  // The first node whose name equals AName exactly (case-sensitive), or nullptr.
  TNvpNode* Node(QStringView AName) const { return Node(AName, TNvpNode::HashName(AName)); }
  // The same with AName's hash given, for names known in advance.
  TNvpNode* Node(QStringView AName, quint32 AHash) const;
  // nullptr when AIndex lies outside the list.
  TNvpNode* Node(int AIndex) const;
  // Empty text when there is no such node.
  QString Value(QStringView AName) const { return Value(AName, TNvpNode::HashName(AName)); }
  QString Value(QStringView AName, quint32 AHash) const;
  QString Value(int AIndex) const;
  QString Name(int AIndex) const;

 protected:
  // Nodes from FCount on are spare: an emptied list keeps them so that refilling it, once per tag
  // during a scan, does not allocate.
  std::vector<std::unique_ptr<TNvpNode>> FNodes;
  int FCount = 0;
  // The first FOwnNodes nodes were made by the list itself and not replaced by Add since.
  int FOwnNodes = 0;
};

class TAttrList final : public TNvpList {
 public:
  // Replaces the contents with the attributes found from AStart on, a NUL-terminated text, and
  // returns the position at which the walk stopped. Names and values are copied as written.
  const char16_t* Analyze(const char16_t* AStart);

  // At most AMaxCount attributes are taken by one walk; 0, the default, takes them all. A walk
  // that meets one more stops there and says so in Overflowed.
  void SetMaxCount(int AMaxCount) { FMaxCount = AMaxCount; }
  int MaxCount() const { return FMaxCount; }
  // Whether the last walk stopped at the limit.
  bool Overflowed() const { return FOverflowed; }

 private:
  friend class TXmlParser;

  enum TWalkMode {
    // Nodes own copies of what they hold.
    wmCopy,
    // Nodes refer to the text, which must outlive them.
    wmRefer,
    // As wmRefer, and values are normalised by the parser when read.
    wmReferNormalized,
  };

  // The walk behind Analyze; ALimit is a NUL at or after the end of the text, the bound of block
  // reads.
  const char16_t* Walk(const char16_t* AStart, const char16_t* ALimit, TWalkMode AMode, TXmlParser* AParser);
  // Has values read with wmRefer normalised by AParser from now on, as if read with
  // wmReferNormalized.
  void NormalizeWhenRead(TXmlParser* AParser);
  TAttr& AppendNode() {
    if (FCount < FOwnNodes) {
      auto& Attr = static_cast<TAttr&>(*FNodes[size_t(FCount++)]);
      Attr.ValueType = vtNormal;
      Attr.AttrType = atUnknown;
      return Attr;
    }
    return AppendNewNode();
  }
  TAttr& AppendNewNode();

  int FMaxCount = 0;
  bool FOverflowed = false;
};

// A tolerant, non-validating pull scanner over a document held in memory. It reports no errors:
// every call to Scan moves to the next part and sets the current fields, which keep or replace
// what the previous part left in them depending on the kind of part.
class TXmlParser {
 public:
  TXmlParser();
  virtual ~TXmlParser();
  Q_DISABLE_COPY_MOVE(TXmlParser)

  // Takes the text up to its first NUL character as the document; false (and an empty document)
  // when no memory could be had for it.
  bool LoadFromBuffer(const QString& AText);
  // Drops the document and every current field; FNormalize becomes true again.
  void Clear();
  // Back to the beginning of the document.
  void StartScan();
  // Moves to the next part; false once the document is exhausted, and from then on.
  bool Scan();

  // A part with more than AMaxAttributes attributes ends the scan: Scan returns false, as at the
  // end of the document, and AttributeLimitReached tells the two apart. 0, the default, means no
  // limit. Kept by Clear and StartScan.
  void SetMaxAttributes(int AMaxAttributes) { FCurAttr.SetMaxCount(AMaxAttributes); }
  bool AttributeLimitReached() const { return FAttributeLimitReached; }

  // The text a numeric character reference stands for.
  virtual QString TranslateCharacter(quint32 ACode);

  TPartType CurPartType() const { return FCurPartType; }
  const QString& CurName() const { return FCurName; }
  const QString& CurContent() const { return FCurContent; }
  const TAttrList& CurAttr() const { return FCurAttr; }
  // Indexes of the first and the last character of the current part in the document; -1 before
  // the first Scan.
  qsizetype CurStart() const { return FCurStart; }
  qsizetype CurFinal() const { return FCurFinal; }

  // Whether text parts are trimmed and their blank runs packed to one space.
  bool Normalize() const { return FNormalize; }
  void SetNormalize(bool AValue) { FNormalize = AValue; }

  const QString& Source() const { return FSource; }
  const QString& XmlVersion() const { return FXmlVersion; }
  const QString& Encoding() const { return FEncoding; }
  bool Standalone() const { return FStandalone; }
  const QString& CurEncoding() const { return FCurEncoding; }

 private:
  friend class TNvpNode;

  void ScanXmlDeclaration(const char16_t* AStart);
  void ScanProcessingInstruction(const char16_t* AStart);
  void ScanComment(const char16_t* AStart);
  void ScanDocumentType(const char16_t* AStart);
  void ScanCData(const char16_t* AStart);
  void ScanTag(const char16_t* AStart);
  // False when the text part is empty and is not to be reported.
  bool ScanText(const char16_t* AStart);

  // Attribute value normalisation of a value as written, its first AMaxLength characters.
  QString NormalizeValue(QStringView ARaw, qsizetype AMaxLength = std::numeric_limits<qsizetype>::max());
  // What the reference named AName (between "&" and ";") stands for; a character reference's text
  // is kept in AScratch.
  QStringView Reference(QStringView AName, QString& AScratch);
  // The next ";" of the document from AFrom on, or nullptr.
  const char16_t* FindSemicolon(const char16_t* AFrom);
  void SetFinal(const char16_t* ALast) { FCurFinal = ALast - FData; }
  // The part ran to the end of the document, the NUL at AEnd.
  void SetFinalAtEnd(const char16_t* AEnd) { FCurFinal = AEnd - FData - 1; }

  QString FBuffer;
  // FBuffer's characters, FData[FLength] being NUL. The document ends at the first NUL, which every
  // walk stops at; the caller's text is shared rather than searched for an early NUL and copied.
  const char16_t* FData;
  qsizetype FLength = 0;
  QString FSource;
  QString FXmlVersion;
  QString FEncoding;
  bool FStandalone = false;
  bool FNormalize = true;
  QString FCurEncoding;
  // Searching for ";" from here on is known to fail; keeps text with many bare "&" linear.
  const char16_t* FNoSemicolonFrom = nullptr;

  bool FAttributeLimitReached = false;

  TPartType FCurPartType = ptNone;
  QString FCurName;
  QString FCurContent;
  qsizetype FCurStart = -1;
  qsizetype FCurFinal = -1;
  TAttrList FCurAttr;
};

}  // namespace wavenard
