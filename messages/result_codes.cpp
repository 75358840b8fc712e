#include "messages/result_codes.h"

#include <cstdio>
#include <iterator>

#include "unlha32.h"

namespace messages {
namespace {

struct CodeMessage {
  int32_t code;
  const wchar_t* text;
};

// The library's result codes and what they tell the user. Codes 32801 to 32804 have no entry.
constexpr CodeMessage kCodeMessages[] = {
    {UNLHA_ERROR_DISK_SPACE, L"展開する為のﾃﾞｨｽｸの空きが足りません。"},
    {UNLHA_ERROR_READ_ONLY, L"展開先のﾌｧｲﾙはﾘｰﾄﾞｵﾝﾘｰです。"},
    {UNLHA_ERROR_USER_SKIP, L"ﾕｰｻﾞｰによって展開をｽｷｯﾌﾟされました。"},
    {UNLHA_ERROR_UNKNOWN_TYPE, L"格納ﾌｧｲﾙの種類がMS-DOSで扱える形式(BINARY 及び TEXT)以外です。"},
    {UNLHA_ERROR_METHOD, L"UnLHA32.DLLで扱えない格納ﾓｰﾄﾞで格納されています。"},
    {UNLHA_ERROR_PASSWORD_FILE, L"格納ﾌｧｲﾙにﾊﾟｽﾜｰﾄﾞがかかっています。"},
    {UNLHA_ERROR_VERSION, L"格納ﾌｧｲﾙがUnLHA32.DLLが対応していないﾊﾞｰｼﾞｮﾝの形式です。"},
    {UNLHA_ERROR_FILE_CRC, L"格納ﾌｧｲﾙのﾁｪｯｸｻﾑが合っていません。"},
    {UNLHA_ERROR_FILE_OPEN, L"展開時にﾌｧｲﾙを開けませんでした。"},
    {UNLHA_ERROR_MORE_FRESH, L"より新しいﾌｧｲﾙが展開先に存在しています。"},
    {UNLHA_ERROR_NOT_EXIST, L"ﾌｧｲﾙは解凍先に存在していません。"},
    {UNLHA_ERROR_ALREADY_EXIST, L"ﾌｧｲﾙが展開先に既に存在しています。"},
    {UNLHA_ERROR_TOO_MANY_FILES,
     L"格納ﾌｧｲﾙ数が限界を超えている。処理は正常に行われているが、限界を超えた部分については情報は選"
     L"られない。"},
    {UNLHA_ERROR_MAKE_DIRECTORY, L"ﾃﾞｨﾚｸﾄﾘが作成できません。"},
    {UNLHA_ERROR_CANNOT_WRITE, L"展開中に書き込みｴﾗｰが生じました。"},
    {UNLHA_ERROR_HUFFMAN_CODE, L"Lzhﾌｧｲﾙのﾊﾌﾏﾝｺｰﾄﾞが壊れています。"},
    {UNLHA_ERROR_COMMENT_HEADER, L"Lzhﾌｧｲﾙのｺﾒﾝﾄﾍｯﾀﾞが壊れています。"},
    {UNLHA_ERROR_HEADER_CRC, L"Lzhﾌｧｲﾙのﾍｯﾀﾞのﾁｪｯｸｻﾑが合っていません。"},
    {UNLHA_ERROR_HEADER_BROKEN, L"Lzhﾌｧｲﾙのﾍｯﾀﾞが壊れています。"},
    {UNLHA_ERROR_ARC_FILE_OPEN, L"Lzhﾌｧｲﾙを開く事が出来ません。"},
    {UNLHA_ERROR_NO_ARC_NAME, L"Lzhﾌｧｲﾙ名の指定がされていません。"},
    {UNLHA_ERROR_ARC_READ, L"Lzhﾌｧｲﾙの読み込み時に読み込みｴﾗｰが出ました。"},
    {UNLHA_ERROR_NOT_ARC_FILE, L"指定されたﾌｧｲﾙはLzhﾌｧｲﾙではありません。"},
    {UNLHA_ERROR_COMMAND, L"ｺﾏﾝﾄﾞ指定が間違っています。"},
    {UNLHA_ERROR_MORE_HEAP_MEMORY, L"作業用のためのﾋｰﾌﾟﾒﾓﾘが不足しています。"},
    {UNLHA_ERROR_NO_MEMORY, L"ｸﾞﾛｰﾊﾞﾙﾒﾓﾘが不足しています。"},
    {UNLHA_ERROR_ALREADY_RUNNING, L"既に別のﾌﾟﾛｾｽからUnLHA32.DLLが呼ばれています。"},
    {UNLHA_ERROR_USER_CANCEL, L"ﾕｰｻﾞｰによって解凍を中断されました。"},
    {UNLHA_ERROR_TEMP_FILE, L"作業ﾌｧｲﾙがｵｰﾌﾟﾝできません。"},
};

constexpr wchar_t kUnknownCodePrefix[] = L"未知のｴﾗｰです。&H";

}  // namespace

std::wstring ResultCodeMessage(int32_t code) {
  if (code == UNLHA_SUCCESS) return {};
  for (const auto& entry : kCodeMessages) {
    if (entry.code == code) return entry.text;
  }
  // A negative code is shown as its 32-bit two's complement, as the runtime's Hex does.
  wchar_t digits[9];
  std::swprintf(digits, std::size(digits), L"%X",
                static_cast<unsigned>(static_cast<uint32_t>(code)));
  return kUnknownCodePrefix + std::wstring(digits);
}

}  // namespace messages
