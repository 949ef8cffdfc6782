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

QTEST_GUILESS_MAIN(TextTest)
#include "TextTest.moc"
