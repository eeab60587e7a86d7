#pragma once
// The harvested numbers as a Qt item model: one column headed "手机号码列表",
// one row per number, each with the phone glyph. It observes the engine's
// ResultList.
//
// A tick may add thousands of numbers; announcing and scrolling to each one
// lays the whole view out again every time. So the model shows the rows it
// has announced, and ShowNewRows announces all rows added since, as one
// insertion, and scrolls the view to the last one; the first row becomes the
// current one when there is none. A clear empties the view at once,
// announced rows and waiting ones alike.

#include <QAbstractItemView>
#include <QAbstractListModel>
#include <QIcon>
#include <QPointer>

#include "harvest/result_list.h"

namespace shell {

class ResultListModel final : public QAbstractListModel, public harvest::ResultListObserver {
  Q_OBJECT
 public:
  ResultListModel(harvest::ResultList& list, QObject* parent);
  ~ResultListModel() override;

  void SetView(QAbstractItemView* view) { view_ = view; }

  // Announces the rows added since the last call and brings the last into
  // sight.
  void ShowNewRows();

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void BeginAppend(int row) override;
  void EndAppend(int row) override;
  void BeginClear() override;
  void EndClear() override;

 private:
  harvest::ResultList& list_;
  QPointer<QAbstractItemView> view_;
  QIcon rowIcon_;
  int shownRows_ = 0;  // rows the view has been told of
};

}  // namespace shell
