#include "unlha/messages.h"

namespace unlha {

std::wstring OpenFailurePrompt(const std::wstring& arc_file) {
  return L"'" + arc_file + L"' のﾊﾝﾄﾞﾙの取得に失敗したのサ\rヽ( ´ー｀)丿ﾌｯ";
}

}  // namespace unlha
