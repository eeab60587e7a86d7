#pragma once
// The search run's own texts, in GBK bytes (the source stays ASCII; each
// constant says in its comment what it reads).

#include <string_view>

namespace harvest {

// "请先导入关键字列表文件": Start with an empty keyword list.
inline constexpr std::string_view kMsgImportFirst = "\xC7\xEB\xCF\xC8\xB5\xBC\xC8\xEB\xB9\xD8\xBC\xFC\xD7\xD6\xC1\xD0\xB1\xED\xCE\xC4\xBC\xFE";
// "搜索参数设置": Caption of the resume-point prompt.
inline constexpr std::string_view kResumeCaption = "\xCB\xD1\xCB\xF7\xB2\xCE\xCA\xFD\xC9\xE8\xD6\xC3";
// "请输入关键字搜索断点位置        ": Its prompt; it ends in eight spaces.
inline constexpr std::string_view kResumePrompt = "\xC7\xEB\xCA\xE4\xC8\xEB\xB9\xD8\xBC\xFC\xD7\xD6\xCB\xD1\xCB\xF7\xB6\xCF\xB5\xE3\xCE\xBB\xD6\xC3        ";
// "搜索断点位置超过关键字文件行数！": Resume point not below the number of keywords.
inline constexpr std::string_view kMsgResumeBeyondList = "\xCB\xD1\xCB\xF7\xB6\xCF\xB5\xE3\xCE\xBB\xD6\xC3\xB3\xAC\xB9\xFD\xB9\xD8\xBC\xFC\xD7\xD6\xCE\xC4\xBC\xFE\xD0\xD0\xCA\xFD\xA3\xA1";
// "您还没有连接到网上！": The presence check found only the loopback address.
inline constexpr std::string_view kMsgNotConnected = "\xC4\xFA\xBB\xB9\xC3\xBB\xD3\xD0\xC1\xAC\xBD\xD3\xB5\xBD\xCD\xF8\xC9\xCF\xA3\xA1";
// "启动搜索请稍候...": Status line after Start.
inline constexpr std::string_view kStatusStarting = "\xC6\xF4\xB6\xAF\xCB\xD1\xCB\xF7\xC7\xEB\xC9\xD4\xBA\xF2...";
// "正在搜索...": Status line at every tick.
inline constexpr std::string_view kStatusSearching = "\xD5\xFD\xD4\xDA\xCB\xD1\xCB\xF7...";
// "终止搜索...": Status line after Stop.
inline constexpr std::string_view kStatusStopping = "\xD6\xD5\xD6\xB9\xCB\xD1\xCB\xF7...";
// "搜索已经结束!": Status line after Finish.
inline constexpr std::string_view kStatusFinished = "\xCB\xD1\xCB\xF7\xD2\xD1\xBE\xAD\xBD\xE1\xCA\xF8!";

}  // namespace harvest
