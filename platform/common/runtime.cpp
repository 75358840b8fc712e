#include "platform/runtime.h"

#include <limits>

#include "platform/text.h"

namespace platform {
namespace {

const wchar_t* BaseDescription(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kInvalidArgument:
      return L"プロシージャの呼び出し、または引数が不正です。";
    case ErrorKind::kOverflow:
      return L"オーバーフローしました。";
    case ErrorKind::kOutOfMemory:
      return L"メモリが不足しています。";
    case ErrorKind::kSubscriptOutOfRange:
      return L"インデックスが有効範囲にありません。";
    case ErrorKind::kTypeMismatch:
      return L"型が一致しません。";
    case ErrorKind::kFileNotFound:
      return L"ファイルが見つかりません。";
    case ErrorKind::kPathFileAccess:
      return L"パス名が無効か、ファイルにアクセスできません。";
    case ErrorKind::kLibraryNotFound:
      return L"ライブラリを読み込めません。";
    case ErrorKind::kEntryPointNotFound:
      return L"ライブラリのエントリ ポイントが見つかりません。";
  }
  return L"アプリケーション定義またはオブジェクト定義のエラーです。";
}

}  // namespace

RuntimeError::RuntimeError(ErrorKind kind, std::wstring detail) : kind_(kind) {
  description_ = BaseDescription(kind);
  if (!detail.empty()) description_ += L" (" + detail + L")";
  what_ = ToUtf8(description_);
}

void Raise(ErrorKind kind, std::wstring detail) {
  throw RuntimeError(kind, std::move(detail));
}

int16_t ToInt16(int64_t value) {
  if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max())
    Raise(ErrorKind::kOverflow);
  return static_cast<int16_t>(value);
}

}  // namespace platform
