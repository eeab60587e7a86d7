#pragma once
// The harvested numbers as a Qt item model: one column headed "手机号码列表",
// one row per number, each with the phone glyph. It observes the engine's
// ResultList and scrolls the view to every new row.

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
};

}  // namespace shell
