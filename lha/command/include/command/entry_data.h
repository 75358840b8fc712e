// The data of an entry, unpacked and checked against its CRC.
#pragma once

#include <functional>
#include <span>

#include "command/command_line.h"
#include "command/progress.h"
#include "common/io.h"
#include "format/entry.h"

namespace lha::command {

// Unpacks the entry's data from the archive and hands it to `out` piece by piece; the CRC is
// checked at the end. Throws lha::Error: UNLHA_ERROR_METHOD for a method this library cannot
// unpack, UNLHA_ERROR_HUFFMAN_CODE for damaged data, UNLHA_ERROR_FILE_CRC when the CRC does
// not match, UNLHA_ERROR_ARC_READ when the archive cannot be read; and whatever `out` throws.
void UnpackEntry(RandomAccessSource& archive, const format::EntryHeader& entry,
                 const std::function<void(std::span<const uint8_t>)>& out);

// Whether the command's names select the entry: all entries when there are none; a pattern
// with a folder in it is matched against the whole stored path, one without against the name.
bool EntrySelected(const CommandLine& cmd, const format::EntryHeader& entry);

// Whether this library can unpack the entry's method.
bool CanUnpack(const format::EntryHeader& entry);

// The bytes of data unpacking the entry gives: its original size for a file, 0 otherwise.
uint64_t DataSize(const format::EntryHeader& entry);

// When the progress is shown, tells it the total of the data of the entries `cmd` selects, from
// a walk over the headers alone. Tells nothing when a header does not read: the command itself
// comes to it and reports it.
void TellTotal(RandomAccessSource& archive, const CommandLine& cmd, Progress& progress);

}  // namespace lha::command
