// The compression methods of LZH archives, one row each. The -lh4- ... -lhx- family shares one
// encoder engine and one decoder engine that read their parameters from the row, so adding a
// member of that family is adding a row.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace lha::codec {

enum class Method : uint8_t {
  kLh0,  // stored
  kLhd,  // directory / symlink entry, no data
  kLh1,
  kLh2,
  kLh3,
  kLh4,
  kLh5,
  kLh6,
  kLh7,
  kLhx,
  kLzs,
  kLz4,
  kLz5,
  kPm0,
  kPm1,
  kPm2,
};

// How the packed data of a method is laid out.
enum class Family : uint8_t {
  kStored,       // bytes as they are (-lh0-, -lz4-, -pm0-)
  kNoData,       // no packed data at all (-lhd-)
  kStaticBlock,  // static Huffman blocks with T/C/P tables (-lh4- ... -lhx-)
  kAdaptive,     // -lh1-: adaptive Huffman
  kLzs,          // LArc -lzs-
  kLz5,          // LArc -lz5-
  kOther,        // known by name, not decodable here
};

struct MethodInfo {
  Method method;
  std::string_view id;  // the 5 bytes of the header, e.g. "-lh5-"
  Family family;
  uint8_t dict_bits;  // log2 of the window; 0 where there is none
  uint8_t np;         // position-code symbols (static-block family only)
  uint8_t pbit;       // width of the P table count field (static-block family only)
  bool decodable;
  bool encodable;
};

// -lhx- has a 2^19 window. Position classes are the bit lengths of distance-1 (0 ... 19), so
// NP = 20, which still fits the 5-bit P count field the family uses above -lh5-.
// -lh4- reuses the -lh5- P alphabet (NP 14, 4-bit field) although its window is 4 KiB.
inline constexpr MethodInfo kMethods[] = {
    {Method::kLh0, "-lh0-", Family::kStored, 0, 0, 0, true, true},
    {Method::kLhd, "-lhd-", Family::kNoData, 0, 0, 0, true, false},
    {Method::kLh1, "-lh1-", Family::kAdaptive, 12, 0, 0, true, false},
    {Method::kLh2, "-lh2-", Family::kOther, 13, 0, 0, false, false},
    {Method::kLh3, "-lh3-", Family::kOther, 13, 0, 0, false, false},
    {Method::kLh4, "-lh4-", Family::kStaticBlock, 12, 14, 4, true, false},
    {Method::kLh5, "-lh5-", Family::kStaticBlock, 13, 14, 4, true, true},
    {Method::kLh6, "-lh6-", Family::kStaticBlock, 15, 16, 5, true, true},
    {Method::kLh7, "-lh7-", Family::kStaticBlock, 16, 17, 5, true, true},
    {Method::kLhx, "-lhx-", Family::kStaticBlock, 19, 20, 5, true, false},
    {Method::kLzs, "-lzs-", Family::kLzs, 11, 0, 0, true, false},
    {Method::kLz4, "-lz4-", Family::kStored, 0, 0, 0, true, false},
    {Method::kLz5, "-lz5-", Family::kLz5, 12, 0, 0, true, false},
    {Method::kPm0, "-pm0-", Family::kStored, 0, 0, 0, true, false},
    {Method::kPm1, "-pm1-", Family::kOther, 0, 0, 0, false, false},
    {Method::kPm2, "-pm2-", Family::kOther, 0, 0, 0, false, false},
};

// The row of a method.
const MethodInfo& Info(Method m);

// The method named by the 5-byte id of a header; nullopt for an id that is not in the table.
// (LHARK's -lh7- carries the standard id; telling it apart needs the header's OS ID, which is
// the format layer's business.)
std::optional<Method> FindMethod(std::string_view id);
std::optional<Method> FindMethod(std::span<const uint8_t> id);

}  // namespace lha::codec
