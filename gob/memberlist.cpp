#include "memberlist.h"

#include "gobdocument.h"

#include <QMimeData>

namespace dravik {

const char* const kMembersMime = "application/x-dravik-gob-members";

TMemberModel::TMemberModel(const TGOBDocument& document, QObject* parent)
    : QAbstractTableModel(parent), FDocument(document) {}

void TMemberModel::SetRows(int rows) {
  beginResetModel();
  FRows = rows;
  endResetModel();
}

int TMemberModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : FRows;
}

int TMemberModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 2;
}

const TGOBThing* TMemberModel::Member(int row) const {
  const TGOBDirectory* dir = FDocument.Selected;
  if (!dir || row < 0 || size_t(row) >= dir->Members.size()) return nullptr;
  return dir->Members[size_t(row)].get();
}

QVariant TMemberModel::data(const QModelIndex& index, int role) const {
  const TGOBThing* m = Member(index.row());
  if (!m) return {};
  if (role == Qt::DisplayRole || role == Qt::EditRole)
    return index.column() == 0 ? QString::fromStdString(m->Name) : QString::number(m->Length);
  if (role == Qt::TextAlignmentRole && index.column() == 1)
    return int(Qt::AlignRight | Qt::AlignVCenter);
  return {};
}

QVariant TMemberModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal) return {};
  if (role == Qt::DisplayRole) return section == 0 ? QString("Name") : QString("Size");
  if (role == Qt::TextAlignmentRole)
    return int((section == 1 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  return {};
}

Qt::ItemFlags TMemberModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
  if (Member(index.row())) {
    f |= Qt::ItemIsDragEnabled;
    if (index.column() == 0) f |= Qt::ItemIsEditable;
  }
  return f;
}

bool TMemberModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || index.column() != 0 || !Member(index.row())) return false;
  if (OnNameEdited) OnNameEdited(index.row(), value.toString());
  return true;
}

QStringList TMemberModel::mimeTypes() const {
  return {kMembersMime};
}

QMimeData* TMemberModel::mimeData(const QModelIndexList&) const {
  // The drop moves the list's selection; the data only marks the drag as ours.
  auto* mime = new QMimeData;
  mime->setData(kMembersMime, QByteArray());
  return mime;
}

Qt::DropActions TMemberModel::supportedDragActions() const {
  return Qt::MoveAction;
}

} // namespace dravik
