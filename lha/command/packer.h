// (A header of the commands' own: the codecs stay out of what the library's layers above see.)
// Turning one source into an entry: the work that threads do apart (reading a file and packing
// a piece of it, or proving that a file still holds what an entry holds) and the writing, in
// order, of headers and data into the new archive.
//
// A file is packed in pieces of kPieceSize bytes, each an independent stream that the pieces
// after it continue at the bit: the pieces are the same whatever number of threads makes them,
// so the archive is too.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codec/codec.h"
#include "command/archive_io.h"
#include "command/command_line.h"
#include "command/progress.h"
#include "command/sources.h"
#include "format/entry.h"
#include "format/header_writer.h"

namespace lha::command {

inline constexpr uint64_t kPieceSize = 2 << 20;

// Packing pays off only if it saves something; past this much input without a saving the rest
// is not tried, and the file is stored. (The count is per piece, so the decision falls at the
// same place whatever the number of threads.)
inline constexpr uint64_t kGiveUpAfter = 16 << 20;

struct PackedEntry {
  std::string method;
  uint64_t original_size = 0;
  uint64_t packed_size = 0;
};

// One piece of a file, read and packed.
struct Piece {
  std::optional<SourceProblem> problem;  // the file could not be opened or read
  platform::FileStatus status;           // of the file as it was opened
  std::vector<uint8_t> raw;              // the bytes read, when kept (a file packed whole)
  std::vector<uint8_t> packed;           // the piece's stream
  uint64_t bits = 0;                     // its length in bits
  uint64_t original = 0;                 // bytes read
  uint16_t crc = 0;                      // their CRC-16
};

// The codec method a command's -o switch asks for.
codec::Method CodecMethod(PackMethod m);

// Reads bytes [offset, offset + length) of a file source (fewer where it ends first) and packs
// them as a stream of `method` (-lh0-: only reads them). Thread-safe for distinct pieces.
Piece PackPiece(platform::Env& env, const Source& source, codec::Method method, uint64_t offset,
                uint64_t length, bool keep_raw);

// Whether the file of `source` holds exactly the bytes of the archive's `entry`, proven by
// decoding the entry and comparing it with the file in one pass; a file that changes while it is
// compared, or an entry that fails its CRC, does not count as the same. `status` receives the
// file's status when it is the same. Archive read errors are thrown; everything else is "not the
// same". Thread-safe.
bool SameContent(platform::Env& env, RandomAccessSource& archive, const format::EntryHeader& entry,
                 const Source& source, platform::FileStatus* status);

// The header a fresh pack of `source` would write (sizes and CRC still 0), for `method`, or the
// problem that keeps it from being stored.
// Names go in `code_page` when it can hold them, else in UTF-8.
std::optional<SourceProblem> HeaderFor(const Source& source, const std::string& method,
                                       uint32_t code_page, std::vector<uint8_t>* header);

// What is not data: a folder's or a link's entry, all header. A link's target is read here.
std::optional<SourceProblem> EntryWithoutData(platform::Env& env, const Source& source,
                                              uint32_t code_page, std::vector<uint8_t>* header,
                                              PackedEntry* packed);

// Writes a file's entry from pieces given in order: its header first, then each piece's stream
// joined to the one before, then the final sizes and CRC. When packing does not pay (in the
// end, or after 16 MiB without a saving) the entry is rewritten as stored: StoreFrom() then
// copies the file. `progress` hears how much of the file's data is in, from the thread that
// builds the entry.
class EntryBuilder {
 public:
  EntryBuilder(const Source& source, codec::Method method, uint32_t code_page, ArchiveWriter& out,
               Progress& progress);
  // False when the source's header cannot be written: problem() tells why.
  bool Begin();
  // Adds the next piece; false when packing is given up (the entry is to be stored instead).
  bool Add(Piece&& piece);
  // Writes the entry with its data stored, from the bytes a first piece kept, or else by reading
  // the file again.
  void StoreFrom(platform::Env& env, const std::vector<uint8_t>* raw);
  // Completes the entry: stored after all if packing did not pay.
  void Finish(platform::Env& env);
  // After a problem with a piece (the file vanished), nothing of the entry stays.
  void Abandon();

  const std::optional<SourceProblem>& problem() const { return problem_; }
  const PackedEntry& result() const { return result_; }
  bool storing() const { return storing_; }
  uint64_t original() const { return original_; }  // bytes added so far
  const platform::FileStatus& status() const { return status_; }

 private:
  void Patch(uint64_t packed, uint64_t original, uint16_t crc);

  const Source& source_;
  codec::Method method_;
  uint32_t code_page_;
  ArchiveWriter& out_;
  Progress& progress_;
  std::vector<uint8_t> header_;
  uint64_t start_ = 0, data_start_ = 0;
  codec::StreamJoiner joiner_;
  uint64_t original_ = 0;
  uint16_t crc_ = 0;
  bool storing_ = false;
  platform::FileStatus status_;  // of the file as the first piece saw it
  size_t pieces_ = 0;
  std::optional<SourceProblem> problem_;
  PackedEntry result_;
};

// The stored path with '/' between its components, as entries are matched by name.
std::string StoredKey(const std::vector<std::string>& components);

// The bytes a command reads of the source, as enumerated: a file's size, 0 for anything else.
uint64_t DataSize(const Source& source);

}  // namespace lha::command
