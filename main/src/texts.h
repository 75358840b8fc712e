// The texts of the job run's message boxes.
#pragma once

namespace lhatool::texts {

inline constexpr wchar_t kOperationErrorTitle[] = L"動作ｴﾗｰ";
inline constexpr wchar_t kOperationError[] = L"動作ﾁｪｯｸｴﾗｰ";
inline constexpr wchar_t kInfoFileErrorTitle[] = L"情報ﾌｧｲﾙｴﾗｰ";
inline constexpr wchar_t kNoInfoFile[] = L"情報ﾌｧｲﾙが設定されていません";
inline constexpr wchar_t kInfoFileMissingBefore[] = L"情報ﾌｧｲﾙ ";
inline constexpr wchar_t kInfoFileMissingAfter[] = L" が存在しません";
inline constexpr wchar_t kReadErrorTitle[] = L"読取ｴﾗｰ";
inline constexpr wchar_t kReadError[] = L"情報ﾌｧｲﾙ読み取りｴﾗｰ";
inline constexpr wchar_t kOutConfigTitle[] = L"OUT_CONFIG ﾁｪｯｸｴﾗｰ";
inline constexpr wchar_t kTypeIniError[] = L"Type_Ini ｴﾗｰ!!";
inline constexpr wchar_t kLzhIniError[] = L"Lzh_Ini ｴﾗｰ!!";
inline constexpr wchar_t kDateIniError[] = L"Data_Ini ｴﾗｰ!!";
inline constexpr wchar_t kOutInformationTitle[] = L"OUT_INFOMATION ﾁｪｯｸｴﾗｰ";
inline constexpr wchar_t kNoOutputFolder[] = L"出力ﾊﾟｽ情報のﾃﾞｨﾚｸﾄﾘが存在しません。";
inline constexpr wchar_t kNoOutputFile[] = L"出力ﾌｧｲﾙ情報が存在しません。";
inline constexpr wchar_t kFileListTitle[] = L"IN_FILELISTﾁｪｯｸｴﾗｰ";
inline constexpr wchar_t kNoFileName[] = L"ﾌｧｲﾙ名が存在しません。";
inline constexpr wchar_t kHasFileName[] = L"ﾌｧｲﾙ名が存在しています。";
inline constexpr wchar_t kFileMissing[] = L"指定ﾌｧｲﾙ名が存在しません。";
inline constexpr wchar_t kFolderMissing[] = L"指定ﾌｫﾙﾀﾞ名が存在しません。";
inline constexpr wchar_t kEndTitle[] = L"終了";
inline constexpr wchar_t kFinished[] = L"処理終了";
inline constexpr wchar_t kFailed[] = L"異常終了";

}  // namespace lhatool::texts
