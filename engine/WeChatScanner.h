// The WeChat messages scanner: carves the chat messages of a WeChat message
// database (MM.sqlite and its like) out of the raw file, live and deleted,
// into WeChatRecords. The column layout comes from the first chat table that
// the schema query yields; rows of that layout are carved from every table of
// the file in one walk, so chat tables of one layout are all found.
//
// Also the display text of a WeChat message (voice and picture messages are
// XML), which the scanner's list rows and the result view share.
#pragma once

#include <string>
#include <string_view>

#include "engine/CarvingEngine.h"
#include "engine/ScanView.h"

namespace velmora {

// The schema query that names the chat tables: every table whose name is
// "chat" followed by at least one more character, except the "chatex" tables.
inline constexpr const char* kWeChatSchemaQuery =
    "select [sql] from sqlite_master where [type] = 'table' and lower(name) like 'chat_%'  and  "
    "lower(name) not  like 'chatEx%' ";

// The display text of message text `message`:
//  - a voice message ("<msg><voicemsg" at its start): "<语音消息 时间：S 秒>",
//    S the voicelength attribute's milliseconds divided by 1000, truncated;
//    "<语音消息>" when the attribute is missing or not a number of at most
//    seven characters;
//  - a picture message ("<msg><img " at its start): "<图片消息>";
//  - any other text: the text as stored.
std::string RenderWeChatBody(std::string_view message);

// The direction text of a message's status value.
std::string_view WeChatDirectionText(std::int64_t status);

// The kind's parameters for the carving engine.
CarveKind WeChatKind();

// One whole scan of the file named by SourceRawPath / SourceDbPath into
// WeChatRecords and the result list; returns when it has ended.
void RunWeChatScan(ScanView& view);

}  // namespace velmora

// IOS SCANNERS READY
