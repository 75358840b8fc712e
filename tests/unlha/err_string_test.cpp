// ErrString: the user's message for the last result code.
#include "fixture.h"

namespace unlha_test {
namespace {

class ErrStringTest : public UnlhaTest {
 protected:
  // ErrString for a command that ended with `code`.
  std::wstring MessageFor(int32_t code) {
    fake.Script().command_result = code;
    std::wstring command = L"t X.LZH";
    arc.CommandLine(command);
    return arc.ErrString();
  }
};

TEST_F(ErrStringTest, EveryKnownCodeHasItsMessage) {
  const struct {
    int32_t code;
    const wchar_t* message;
  } cases[] = {
      {32773, L"展開する為のﾃﾞｨｽｸの空きが足りません。"},
      {32774, L"展開先のﾌｧｲﾙはﾘｰﾄﾞｵﾝﾘｰです。"},
      {32775, L"ﾕｰｻﾞｰによって展開をｽｷｯﾌﾟされました。"},
      {32776, L"格納ﾌｧｲﾙの種類がMS-DOSで扱える形式(BINARY 及び TEXT)以外です。"},
      {32777, L"UnLHA32.DLLで扱えない格納ﾓｰﾄﾞで格納されています。"},
      {32778, L"格納ﾌｧｲﾙにﾊﾟｽﾜｰﾄﾞがかかっています。"},
      {32779, L"格納ﾌｧｲﾙがUnLHA32.DLLが対応していないﾊﾞｰｼﾞｮﾝの形式です。"},
      {32780, L"格納ﾌｧｲﾙのﾁｪｯｸｻﾑが合っていません。"},
      {32781, L"展開時にﾌｧｲﾙを開けませんでした。"},
      {32782, L"より新しいﾌｧｲﾙが展開先に存在しています。"},
      {32783, L"ﾌｧｲﾙは解凍先に存在していません。"},
      {32784, L"ﾌｧｲﾙが展開先に既に存在しています。"},
      {32785,
       L"格納ﾌｧｲﾙ数が限界を超えている。処理は正常に行われているが、限界を超えた部分については情報は"
       L"選られない。"},
      {32786, L"ﾃﾞｨﾚｸﾄﾘが作成できません。"},
      {32787, L"展開中に書き込みｴﾗｰが生じました。"},
      {32788, L"Lzhﾌｧｲﾙのﾊﾌﾏﾝｺｰﾄﾞが壊れています。"},
      {32789, L"Lzhﾌｧｲﾙのｺﾒﾝﾄﾍｯﾀﾞが壊れています。"},
      {32790, L"Lzhﾌｧｲﾙのﾍｯﾀﾞのﾁｪｯｸｻﾑが合っていません。"},
      {32791, L"Lzhﾌｧｲﾙのﾍｯﾀﾞが壊れています。"},
      {32792, L"Lzhﾌｧｲﾙを開く事が出来ません。"},
      {32793, L"Lzhﾌｧｲﾙ名の指定がされていません。"},
      {32794, L"Lzhﾌｧｲﾙの読み込み時に読み込みｴﾗｰが出ました。"},
      {32795, L"指定されたﾌｧｲﾙはLzhﾌｧｲﾙではありません。"},
      {32796, L"ｺﾏﾝﾄﾞ指定が間違っています。"},
      {32797, L"作業用のためのﾋｰﾌﾟﾒﾓﾘが不足しています。"},
      {32798, L"ｸﾞﾛｰﾊﾞﾙﾒﾓﾘが不足しています。"},
      {32799, L"既に別のﾌﾟﾛｾｽからUnLHA32.DLLが呼ばれています。"},
      {32800, L"ﾕｰｻﾞｰによって解凍を中断されました。"},
      {32805, L"作業ﾌｧｲﾙがｵｰﾌﾟﾝできません。"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MessageFor(c.code), c.message) << c.code;
}

TEST_F(ErrStringTest, OtherCodesAreUnknownErrorsWithTheirHexadecimalCode) {
  const struct {
    int32_t code;
    const wchar_t* message;
  } cases[] = {
      {1, L"未知のｴﾗｰです。&H1"},
      {32772, L"未知のｴﾗｰです。&H8004"},
      {32801, L"未知のｴﾗｰです。&H8021"},
      {32804, L"未知のｴﾗｰです。&H8024"},
      {32806, L"未知のｴﾗｰです。&H8026"},
      {0x7FFFFFFF, L"未知のｴﾗｰです。&H7FFFFFFF"},
      {-1, L"未知のｴﾗｰです。&HFFFFFFFF"},
      {-32773, L"未知のｴﾗｰです。&HFFFF7FFB"},
      {INT32_MIN, L"未知のｴﾗｰです。&H80000000"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MessageFor(c.code), c.message) << c.code;
}

TEST_F(ErrStringTest, SuccessHasNoMessage) {
  EXPECT_EQ(arc.ErrString(), L"");
  EXPECT_EQ(MessageFor(UNLHA_ERROR_DISK_SPACE), L"展開する為のﾃﾞｨｽｸの空きが足りません。");
  EXPECT_EQ(MessageFor(0), L"");
}

}  // namespace
}  // namespace unlha_test
