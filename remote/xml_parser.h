#pragma once

#include <QString>
#include <QStringView>
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
class TNvpNode {
 public:
  explicit TNvpNode(QStringView AName = {}, const QString& AValue = {});
  virtual ~TNvpNode() = default;
  Q_DISABLE_COPY_MOVE(TNvpNode)

  const QString& Name() const { return FName; }
  // Replaces the name and its hash; reuses the name's storage where it can.
  void SetName(QStringView AName);
  quint32 NameHash() const { return FNameHash; }

  // Length times the sum of the codes of the first, the last and the middle character
  // (position min(length, length div 2 + 1), counted from 1); 0 for an empty name.
  static quint32 HashName(QStringView AName);

  QString Value;

 private:
  QString FName;
  quint32 FNameHash = 0;
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
  // Empties the list. Node pointers handed out before become invalid.
  void Clear();

  // The first node whose name equals AName exactly (case-sensitive), or nullptr.
  TNvpNode* Node(QStringView AName) const;
  // nullptr when AIndex lies outside the list.
  TNvpNode* Node(int AIndex) const;
  // Empty text when there is no such node.
  QString Value(QStringView AName) const;
  QString Value(int AIndex) const;
  QString Name(int AIndex) const;

 protected:
  // Nodes from FCount on are spare: an emptied list keeps them so that refilling it, once per tag
  // during a scan, does not allocate.
  std::vector<std::unique_ptr<TNvpNode>> FNodes;
  int FCount = 0;
};

class TAttrList final : public TNvpList {
 public:
  // Replaces the contents with the attributes found from AStart on, a NUL-terminated text, and
  // returns the position at which the walk stopped. Values are taken as written.
  const char16_t* Analyze(const char16_t* AStart);

 private:
  friend class TXmlParser;

  // The walk behind Analyze; with a parser, values are normalised by it as they are read.
  const char16_t* Walk(const char16_t* AStart, TXmlParser* ANormalizer);
  TAttr& AppendNode();
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
  // Size in bytes of the loaded document including its terminating NUL; 0 when none is loaded.
  qsizetype BufferSize() const { return FBuffer.isNull() ? 0 : (FLength + 1) * qsizetype(sizeof(char16_t)); }
  const QString& XmlVersion() const { return FXmlVersion; }
  const QString& Encoding() const { return FEncoding; }
  bool Standalone() const { return FStandalone; }
  const QString& CurEncoding() const { return FCurEncoding; }

 private:
  friend class TAttrList;

  void ScanXmlDeclaration(const char16_t* AStart);
  void ScanProcessingInstruction(const char16_t* AStart);
  void ScanComment(const char16_t* AStart);
  void ScanDocumentType(const char16_t* AStart);
  void ScanCData(const char16_t* AStart);
  void ScanTag(const char16_t* AStart);
  // False when the text part is empty and is not to be reported.
  bool ScanText(const char16_t* AStart);

  // Attribute value normalisation of [ABegin, AEnd) into AValue.
  void NormalizeValue(const char16_t* ABegin, const char16_t* AEnd, QString& AValue);
  // Appends what the reference named [ABegin, AEnd) (between "&" and ";") stands for.
  void AppendReference(QString& AText, const char16_t* ABegin, const char16_t* AEnd);
  // The next ";" of the document from AFrom on, or nullptr.
  const char16_t* FindSemicolon(const char16_t* AFrom);
  void SetFinal(const char16_t* ALast) { FCurFinal = ALast - FData; }
  void SetFinalAtEnd() { FCurFinal = FLength - 1; }

  QString FBuffer;
  // FBuffer's characters; FData[FLength] is the only NUL.
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

  TPartType FCurPartType = ptNone;
  QString FCurName;
  QString FCurContent;
  qsizetype FCurStart = -1;
  qsizetype FCurFinal = -1;
  TAttrList FCurAttr;
};

}  // namespace wavenard
