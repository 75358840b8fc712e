// The compression methods of LZH archives, one row each. The -lh4- ... -lhx- family shares one
// encoder engine and one decoder engine that read their parameters from the row, so adding a
// member of that family is adding a row.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "common/methods.h"

namespace lha::codec {

using lha::Method;  // the ids come from the one list in common/methods.h

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
    {Method::kLh0, IdOf(Method::kLh0), Family::kStored, 0, 0, 0, true, true},
    {Method::kLhd, IdOf(Method::kLhd), Family::kNoData, 0, 0, 0, true, false},
    {Method::kLh1, IdOf(Method::kLh1), Family::kAdaptive, 12, 0, 0, true, false},
    {Method::kLh2, IdOf(Method::kLh2), Family::kOther, 13, 0, 0, false, false},
    {Method::kLh3, IdOf(Method::kLh3), Family::kOther, 13, 0, 0, false, false},
    {Method::kLh4, IdOf(Method::kLh4), Family::kStaticBlock, 12, 14, 4, true, false},
    {Method::kLh5, IdOf(Method::kLh5), Family::kStaticBlock, 13, 14, 4, true, true},
    {Method::kLh6, IdOf(Method::kLh6), Family::kStaticBlock, 15, 16, 5, true, true},
    {Method::kLh7, IdOf(Method::kLh7), Family::kStaticBlock, 16, 17, 5, true, true},
    {Method::kLhx, IdOf(Method::kLhx), Family::kStaticBlock, 19, 20, 5, true, false},
    {Method::kLzs, IdOf(Method::kLzs), Family::kLzs, 11, 0, 0, true, false},
    {Method::kLz4, IdOf(Method::kLz4), Family::kStored, 0, 0, 0, true, false},
    {Method::kLz5, IdOf(Method::kLz5), Family::kLz5, 12, 0, 0, true, false},
    {Method::kPm0, IdOf(Method::kPm0), Family::kStored, 0, 0, 0, true, false},
    {Method::kPm1, IdOf(Method::kPm1), Family::kOther, 0, 0, 0, false, false},
    {Method::kPm2, IdOf(Method::kPm2), Family::kOther, 0, 0, 0, false, false},
};

// The row of a method.
const MethodInfo& Info(Method m);

// The method named by the 5-byte id of a header; nullopt for an id that is not in the table.
// (LHARK's -lh7- carries the standard id; telling it apart needs the header's OS ID, which is
// the format layer's business.)
std::optional<Method> FindMethod(std::string_view id);
std::optional<Method> FindMethod(std::span<const uint8_t> id);

}  // namespace lha::codec
