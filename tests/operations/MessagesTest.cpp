#include "ui/operations/Messages.h"

#include "tests/i18n/Language.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace tcpipset {
namespace {

struct MessageCase {
    const char* name;
    std::function<std::string()> text;
    const char* expected;
    const char* language = languages::Japanese;
};

class MessagesTest : public ::testing::TestWithParam<MessageCase> {};

// Under a Japanese locale the operator reads the program's own words, byte for byte;
// elsewhere the English of the sources.
TEST_P(MessagesTest, SpeaksTheLanguageOfMessagesLocale) {
    const auto& c = GetParam();
    languages::ScopedLanguage language(c.language);
    EXPECT_EQ(c.text(), c.expected);
}

using namespace messages;

INSTANTIATE_TEST_SUITE_P(
    Operations, MessagesTest,
    ::testing::Values(
        MessageCase{"NoMacSelected", NoMacSelected, "Mac アドレスが選択されていません。"},
        MessageCase{"SetFieldEmpty", SetFieldEmpty, "設定するTCP/IPアドレスが指定されていません。"},
        MessageCase{"ConfirmSet", ConfirmSet, "TCP/IPアドレスを変更しますか。"},
        MessageCase{"InvalidAddress", InvalidAddress, "不正なアドレスが設定されています。"},
        MessageCase{"Timeout", Timeout, "タイムアウトが発生しました。"},
        MessageCase{"Updated", Updated, "TCP/IPアドレスは更新されました。"},
        MessageCase{"NotUpdated", NotUpdated, "TCP/IPアドレスは更新されませんでした。"},
        MessageCase{"SelectorShared", SelectorShared,
                    "同じ下位6桁のMACアドレスが複数あるため、この機器は設定できません。"},
        MessageCase{"InterfaceGone", InterfaceGone,
                    "この機器が見つかったネットワーク接続がなくなりました。\n"
                    "プログラムを起動し直して、機器を検索し直してください。"},
        MessageCase{"RepliesLost", [] { return RepliesLost(12); },
                    "機器からの応答のうち 12 件を受信できませんでした。\n"
                    "プログラムを起動し直して機器を検索し直すと、残りの機器が表示されることがあり"
                    "ます。"},
        MessageCase{"RestartFieldEmpty", RestartFieldEmpty, "TCP/IPアドレスが指定されていません。"},
        MessageCase{"ConfirmRestart", [] { return ConfirmRestart("192.168.0.10"); },
                    "192.168.0.10  IPアドレスのプリントサーバーをリセットしますか。"},
        MessageCase{"UpdatedInEnglish", Updated, "The TCP/IP address was updated.",
                    languages::English},
        MessageCase{"OneReplyLostInEnglish", [] { return RepliesLost(1); },
                    "1 reply from the devices could not be received.\nStart the program again "
                    "and search again: the other devices may then be listed.",
                    languages::English}),
    [](const auto& row) { return std::string(row.param.name); });

} // namespace
} // namespace tcpipset
