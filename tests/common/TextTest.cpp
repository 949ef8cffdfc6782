#include "common/VisibleName.h"
#include "common/_md5.h"
#include "platform/text/Gbk.h"

#include <QTest>

class TextTest : public QObject
{
    Q_OBJECT

private slots:
    void gbk_data();
    void gbk();
    void charactersOutsideGbk_data();
    void charactersOutsideGbk();
    void passwordDigest_data();
    void passwordDigest();
    void visibleName_data();
    void visibleName();
};

void TextTest::gbk_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("ASCII") << "abc 123" << QByteArray("abc 123");
    QTest::newRow("Chinese") << "三个汉字" << QByteArray::fromHex("c8fdb8f6babad7d6");
    QTest::newRow("mixed") << "a张三b" << QByteArray::fromHex("61d5c5c8fd62");
    QTest::newRow("full-width comma") << "，" << QByteArray::fromHex("a3ac");
    QTest::newRow("euro sign, single byte in code page 936") << "€" << QByteArray("\x80");
}

void TextTest::gbk()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(Gbk::encode(text), bytes);
    QCOMPARE(Gbk::decode(bytes), text);
    QCOMPARE(Gbk::byteLength(text), bytes.size());
    QVERIFY(Gbk::canEncode(text));
}

void TextTest::charactersOutsideGbk_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("emoji") << "😀";
    QTest::newRow("emoji among Chinese") << "张😀三";
    QTest::newRow("Thai") << "ก";
}

void TextTest::charactersOutsideGbk()
{
    QFETCH(QString, text);
    QVERIFY(!Gbk::canEncode(text));
    // Once refused, the next text is judged on its own.
    QVERIFY(Gbk::canEncode(QStringLiteral("张三")));
}

void TextTest::passwordDigest_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("digest");
    QTest::newRow("empty") << QString() << "d41d8cd98f00b204e9800998ecf8427e";
    QTest::newRow("digits") << "480517"
                            << "1064beb2084c536c7021a377c0072ad8";
    QTest::newRow("letters") << "abc"
                             << "900150983cd24fb0d6963f7d28e17f72";
    QTest::newRow("Chinese, as GBK bytes") << "密码123"
                                           << "023b1f07f0a78fc82f15fc1cebe93524";
    QTest::newRow("Chinese only") << "管理员"
                                  << "8178134ede762c42e41a7b1695082e28";
}

void TextTest::passwordDigest()
{
    QFETCH(QString, password);
    QFETCH(QString, digest);
    QCOMPARE(PasswordDigest(password), digest);
}

// Characters that draw nothing or reorder the text are shown as code points;
// everything a name shows by itself stays as it is.
void TextTest::visibleName_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain Chinese")
        << QStringLiteral("合同 2024.pdf") << QStringLiteral("合同 2024.pdf");
    QTest::newRow("markup stays text")
        << QStringLiteral("<font size=7>合同.pdf") << QStringLiteral("<font size=7>合同.pdf");
    QTest::newRow("right-to-left override")
        << QStringLiteral("合同\u202Etxt.exe") << QStringLiteral("合同<U+202E>txt.exe");
    QTest::newRow("every direction control")
        << QStringLiteral("a\u202A\u202B\u202C\u202D\u2066\u2067\u2068\u2069\u200E\u200Fb")
        << QStringLiteral("a<U+202A><U+202B><U+202C><U+202D><U+2066><U+2067><U+2068><U+2069>"
                          "<U+200E><U+200F>b");
    QTest::newRow("zero-width characters")
        << QStringLiteral("a\u200B\u200C\u200D\u2060\uFEFF.doc")
        << QStringLiteral("a<U+200B><U+200C><U+200D><U+2060><U+FEFF>.doc");
    QTest::newRow("controls and line breaks")
        << QStringLiteral("a\tb\nc\u0085\u2028\u2029\u007F.txt")
        << QStringLiteral("a<U+0009>b<U+000A>c<U+0085><U+2028><U+2029><U+007F>.txt");
    QTest::newRow("soft hyphen and Hangul filler")
        << QStringLiteral("ex\u00ADe\u3164.pdf") << QStringLiteral("ex<U+00AD>e<U+3164>.pdf");
    // Outside the first plane: a letter stays, a tag character is shown.
    QTest::newRow("beyond the first plane")
        << QString::fromUcs4(U"\U00020000\U000E0041.pdf")
        << QString::fromUcs4(U"\U00020000") + QStringLiteral("<U+E0041>.pdf");
}

void TextTest::visibleName()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QCOMPARE(VisibleName(stored), shown);
}

QTEST_GUILESS_MAIN(TextTest)
#include "TextTest.moc"
