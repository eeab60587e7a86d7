#include "harvest/result_list.h"

namespace harvest {

void ResultList::Append(std::string caption) {
  const int row = Count();
  if (observer_) observer_->BeginAppend(row);
  captions_.insert(caption);
  rows_.push_back(std::move(caption));
  if (observer_) observer_->EndAppend(row);
}

void ResultList::Clear() {
  if (observer_) observer_->BeginClear();
  rows_.clear();
  captions_.clear();
  ++clears_;
  if (observer_) observer_->EndClear();
}

}  // namespace harvest
