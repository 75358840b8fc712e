#include "backup/entry_list.h"

#include "platform/runtime.h"

namespace backup {

using platform::ErrorKind;
using platform::Raise;

int16_t EntryList::LBound() const {
  if (items_.empty()) Raise(ErrorKind::kSubscriptOutOfRange);
  return 0;
}

int16_t EntryList::UBound() const {
  if (items_.empty()) Raise(ErrorKind::kSubscriptOutOfRange);
  return static_cast<int16_t>(items_.size() - 1);
}

const std::wstring& EntryList::operator[](int index) const {
  if (index < 0 || static_cast<size_t>(index) >= items_.size())
    Raise(ErrorKind::kSubscriptOutOfRange);
  return items_[static_cast<size_t>(index)];
}

void EntryList::ResizePreserve(int16_t upper) {
  if (upper < 0) Raise(ErrorKind::kSubscriptOutOfRange);
  items_.resize(static_cast<size_t>(upper) + 1);
}

void EntryList::Set(int index, std::wstring value) {
  if (index < 0 || static_cast<size_t>(index) >= items_.size())
    Raise(ErrorKind::kSubscriptOutOfRange);
  items_[static_cast<size_t>(index)] = std::move(value);
}

}  // namespace backup
