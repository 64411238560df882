#include "app/sent_takes_proxy.h"

#include <QColor>
#include <QFileSystemModel>
#include <QFont>

namespace wavenard {

TSentTakesProxy::TSentTakesProxy(QSet<QString> ASent, QObject* AParent)
    : QIdentityProxyModel(AParent), FSent(std::move(ASent)) {}

bool TSentTakesProxy::IsSent(const QModelIndex& AIndex) const {
  return !FSent.isEmpty() && AIndex.isValid() &&
         FSent.contains(
             QIdentityProxyModel::data(AIndex.siblingAtColumn(0), QFileSystemModel::FilePathRole).toString());
}

QVariant TSentTakesProxy::data(const QModelIndex& AIndex, int ARole) const {
  if ((ARole == Qt::ToolTipRole || ARole == Qt::AccessibleDescriptionRole || ARole == Qt::ForegroundRole ||
       ARole == Qt::FontRole) &&
      IsSent(AIndex)) {
    switch (ARole) {
      case Qt::ForegroundRole:
        return QColor(0x80, 0x80, 0x80);
      case Qt::FontRole: {
        QFont Font = QIdentityProxyModel::data(AIndex, ARole).value<QFont>();
        Font.setItalic(true);
        return Font;
      }
      default:
        return SentText;
    }
  }
  return QIdentityProxyModel::data(AIndex, ARole);
}

}  // namespace wavenard
