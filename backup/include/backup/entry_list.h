// The entry list of the job settings: the FILEn values, indexed from 0 with a signed 16-bit
// index, as a dynamic array that has no bounds at all until its first element is given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace backup {

class EntryList {
 public:
  // Bounds of the list; raise subscript out of range while it has never been given an element.
  int16_t LBound() const;
  int16_t UBound() const;
  // Raises subscript out of range for an index outside the bounds.
  const std::wstring& operator[](int index) const;

  // Grows or shrinks the list to `upper` + 1 elements, keeping those already there.
  void ResizePreserve(int16_t upper);
  void Set(int index, std::wstring value);

  bool empty() const { return items_.empty(); }
  size_t size() const { return items_.size(); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<std::wstring> items_;
};

}  // namespace backup
