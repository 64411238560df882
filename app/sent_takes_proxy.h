#pragma once

#include <QIdentityProxyModel>
#include <QSet>
#include <QString>

namespace wavenard {

// Over the file dialog's model: marks the files already sent to the station in this run, in
// grey and italics with a tool tip and a description for assistive technology, so that a take
// is not sent twice by mistake.
class TSentTakesProxy final : public QIdentityProxyModel {
  Q_OBJECT

 public:
  // ASent: the files' absolute paths.
  explicit TSentTakesProxy(QSet<QString> ASent, QObject* AParent = nullptr);
  Q_DISABLE_COPY_MOVE(TSentTakesProxy)

  static inline const QString SentText = QStringLiteral("Already sent to the station");

  QVariant data(const QModelIndex& AIndex, int ARole = Qt::DisplayRole) const override;

 private:
  bool IsSent(const QModelIndex& AIndex) const;

  const QSet<QString> FSent;
};

}  // namespace wavenard
