#pragma once

#include <QCoreApplication>
#include <QString>

// What the panel tells the user when no supply answers, both after the search at start-up and
// when a supply that was found stops answering while the output is on. It points the user at
// the cable, the fuse, other USB devices, a restart and a second running copy.
inline constexpr const char* kNotFoundMessage =
    QT_TRANSLATE_NOOP("NotFoundMessage", "USB電源が見つかりません。 \r\n"
                                         "以下を試してください。 \r\n"
                                         "\r\n"
                                         "(1)USB電源の接続を確認する。  \r\n"
                                         "(2)ﾋｭｰｽﾞが切れていないか確認。 \r\n"
                                         "(3)他のUSB機器をはずす。 \r\n"
                                         "(4)ｱﾌﾟﾘｹｰｼｮﾝを再ｽﾀｰﾄする。 \r\n"
                                         "(5)ｱﾌﾟﾘｹｰｼｮﾝを二重起動していないか確認。 \r\n");

// The message in the language of the program's translation.
inline QString NotFoundMessage() {
    return QCoreApplication::translate("NotFoundMessage", kNotFoundMessage);
}
