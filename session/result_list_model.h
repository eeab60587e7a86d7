#pragma once
// The harvested numbers as a Qt item model: one column headed "手机号码列表",
// one row per number, each with the picture a view gives it. It observes the
// engine's ResultList.
//
// A tick may add thousands of numbers; announcing each one lays a view out
// again every time. So the model shows the rows it has announced, and
// ShowNewRows announces all rows added since, as one insertion (a view
// scrolls to the last one then). A clear empties it at once, announced rows
// and waiting ones alike.

#include <QAbstractListModel>
#include <QIcon>

#include "harvest/result_list.h"

namespace session {

class ResultListModel final : public QAbstractListModel, public harvest::ResultListObserver {
  Q_OBJECT
 public:
  explicit ResultListModel(harvest::ResultList& list, QObject* parent = nullptr);
  ~ResultListModel() override;

  // Announces the rows added since the last call.
  void ShowNewRows();
  // The picture each row shows beside its number (a view's choice).
  void SetRowIcon(const QIcon& icon) { rowIcon_ = icon; }

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void BeginAppend(int row) override;
  void EndAppend(int row) override;
  void BeginClear() override;
  void EndClear() override;

 private:
  harvest::ResultList& list_;
  QIcon rowIcon_;
  int shownRows_ = 0;  // rows the view has been told of
};

}  // namespace session
