// What a command tells about its advance, for a display of progress (the cursor mode's line on a
// terminal). Every call comes from the thread that runs the command. This base shows nothing,
// so a command run with it tells nobody anything.
#pragma once

#include <cstdint>
#include <string>

namespace lha::command {

class Progress {
 public:
  virtual ~Progress() = default;

  // Whether anything is shown. Work done for the display alone (walking an archive's headers
  // to total its entries before the first one is unpacked) is skipped when nothing is.
  virtual bool Shown() const { return false; }

  // The bytes of data the whole command will read or unpack: the original sizes of the entries
  // x, e and t unpack, the sizes of the files a and u read (to pack them, or to compare them
  // with their entries). Told once, before the first entry; not told when they cannot be known
  // (an archive whose headers do not all read).
  virtual void Total(uint64_t bytes) { (void)bytes; }

  // The command reaches an entry whose data is `bytes` long (0 for a folder or a link). When the
  // next entry is reached, or the command ends, the whole of this one counts as done, whether
  // it was unpacked, skipped or failed.
  virtual void Entry(const std::string& name, uint64_t bytes) {
    (void)name;
    (void)bytes;
  }

  // `bytes` of the current entry's data are done. It may start again from 0: a file that
  // packing did not make smaller is read once more to be stored.
  virtual void EntryDone(uint64_t bytes) { (void)bytes; }
};

}  // namespace lha::command
