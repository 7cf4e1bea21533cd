// The 22 delivery standards of the check list. The index is the key into the
// standards rows of the update catalogue; the caption is the list's item and
// the key in Install.ini.
#pragma once

#include <array>
#include <string_view>

namespace sorana::catalogue {

inline constexpr int kStandardCount = 22;

// clang-format off
inline constexpr std::array<std::string_view, kStandardCount> kStandardCaptions = {
    "国土交通省電子納品基準",
    "農林水産省電子納品基準",
    "愛媛県電子納品基準",
    "高知県電子納品基準",
    "京都府電子納品基準",
    "広島県電子納品基準",
    "香川県電子納品基準",
    "日本道路公団",
    "水資源機構",
    "京都市建設局電子納品基準",
    "山口県電子納品基準",
    "京都府（治山）電子納品基準",
    "京都府（農林）電子納品基準",
    "営繕工事電子納品基準",
    "国土交通省（機械設備）",
    "国土交通省（電気通信設備）",
    "香川県農政水産部",
    "徳島県電子納品基準",
    "広島県営繕工事電子納品基準",
    "山口県農林水産部",
    "徳島県農林水産部",
    "京都市上下水道局",
};
// clang-format on

}  // namespace sorana::catalogue
