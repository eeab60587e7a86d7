// The engine's texts are kept as GBK byte escapes; decoding them must give
// exactly the Chinese the user is meant to read.
#include "harvest/messages.h"

#include <gtest/gtest.h>

#include "gbk.h"

namespace harvest {
namespace {

TEST(Messages, DecodeToTheirChineseText) {
  const std::pair<std::string_view, const char*> cases[] = {
      {kMsgImportFirst, "请先导入关键字列表文件"},
      {kResumeCaption, "搜索参数设置"},
      {kResumePrompt, "请输入关键字搜索断点位置        "},
      {kMsgResumeBeyondList, "搜索断点位置超过关键字文件行数！"},
      {kMsgNotConnected, "您还没有连接到网上！"},
      {kStatusStarting, "启动搜索请稍候..."},
      {kStatusSearching, "正在搜索..."},
      {kStatusStopping, "终止搜索..."},
      {kStatusFinished, "搜索已经结束!"},
  };
  for (const auto& [gbk, utf8] : cases) EXPECT_EQ(Utf8(gbk), utf8);
}

}  // namespace
}  // namespace harvest
