#include "harvest/result_list.h"

namespace harvest {

void ResultList::Append(std::string caption) {
  captions_.insert(caption);
  rows_.push_back(std::move(caption));
  if (observer_) observer_->RowAppended(Count() - 1);
}

void ResultList::Clear() {
  rows_.clear();
  captions_.clear();
  if (observer_) observer_->RowsCleared();
}

}  // namespace harvest
