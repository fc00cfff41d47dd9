#pragma once

#include <cstdint>
#include <string>

// The fixed texts that the operations show to the operator.
namespace tcpipset::messages {

inline constexpr const char* NoMacSelected = "Mac アドレスが選択されていません。";
inline constexpr const char* SetFieldEmpty = "設定するTCP/IPアドレスが指定されていません。";
inline constexpr const char* ConfirmSet = "TCP/IPアドレスを変更しますか。";
inline constexpr const char* InvalidAddress = "不正なアドレスが設定されています。";
inline constexpr const char* Timeout = "タイムアウトが発生しました。";
inline constexpr const char* Updated = "TCP/IPアドレスは更新されました。";
inline constexpr const char* NotUpdated = "TCP/IPアドレスは更新されませんでした。";
// A set or restart names its device by the last six digits of its MAC only.
inline constexpr const char* SelectorShared =
    "同じ下位6桁のMACアドレスが複数あるため、この機器は設定できません。";
// The interfaces that the selected device's replies came in on are gone since the
// discovery; a request elsewhere would reach only devices that were never seen.
inline constexpr const char* InterfaceGone =
    "この機器が見つかったネットワーク接続がなくなりました。\n"
    "プログラムを起動し直して、機器を検索し直してください。";
// After a discovery during which the system dropped replies for want of room: the list
// misses that many devices.
inline std::string RepliesLost(std::uint64_t count) {
    return "機器からの応答のうち " + std::to_string(count) +
           " 件を受信できませんでした。\n"
           "プログラムを起動し直して機器を検索し直すと、残りの機器が表示されることがあります。";
}
inline constexpr const char* RestartFieldEmpty = "TCP/IPアドレスが指定されていません。";
// Follows the IP address text directly; it begins with two spaces.
inline constexpr const char* ConfirmRestartSuffix =
    "  IPアドレスのプリントサーバーをリセットしますか。";

} // namespace tcpipset::messages
