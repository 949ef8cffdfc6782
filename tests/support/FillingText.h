#pragma once

#include <QString>

// Text of exactly the given number of GBK bytes: Chinese characters, or
// Chinese and ASCII by turns. first shifts the Chinese characters, so that
// texts of one length can differ.
inline QString FillingText(int bytes, bool mixed, int first = 0)
{
    const QString chinese = QStringLiteral("中文字满档案记录管理系统测试");
    QString text;
    int used = 0;
    for (int i = 0; used < bytes; ++i) {
        if ((mixed && i % 2 == 1) || used + 2 > bytes) {
            text += QChar(u'a' + i % 26);
            used += 1;
        } else {
            text += chinese.at((i + first) % chinese.size());
            used += 2;
        }
    }
    return text;
}
