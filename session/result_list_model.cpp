#include "session/result_list_model.h"

namespace session {

ResultListModel::ResultListModel(harvest::ResultList& list, QObject* parent)
    : QAbstractListModel(parent), list_(list) {
  list_.SetObserver(this);
  shownRows_ = list_.Count();
}

ResultListModel::~ResultListModel() {
  list_.SetObserver(nullptr);
}

int ResultListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : shownRows_;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= shownRows_) return {};
  switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
      // Captions are 11 ASCII digits: no conversion needed.
      return QString::fromLatin1(list_.Caption(index.row()));
    case Qt::DecorationRole:
      return rowIcon_;
    default:
      return {};
  }
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (section == 0 && orientation == Qt::Horizontal && role == Qt::DisplayRole)
    return tr("手机号码列表");
  return QAbstractListModel::headerData(section, orientation, role);
}

void ResultListModel::ShowNewRows() {
  const int rows = list_.Count();
  if (rows <= shownRows_) return;
  beginInsertRows({}, shownRows_, rows - 1);
  shownRows_ = rows;
  endInsertRows();
}

// Rows wait for ShowNewRows: the list only grows at its end until a clear.
void ResultListModel::BeginAppend(int) {}
void ResultListModel::EndAppend(int) {}

void ResultListModel::BeginClear() {
  beginResetModel();
}

void ResultListModel::EndClear() {
  shownRows_ = list_.Count();
  endResetModel();
}

}  // namespace session
