// How stored names become the library's own text (UTF-8): the archive format finds the bytes
// and the code page a header declares; the system the library runs on knows how names without
// one were written and how to convert them. The commands hand the format layer a decoder.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace lha {

class NameDecoder {
 public:
  virtual ~NameDecoder() = default;
  // One name or path component as stored, in `code_page` when the header names one (ext 46).
  virtual std::string Decode(std::string_view stored, std::optional<uint32_t> code_page) const = 0;
};

}  // namespace lha
