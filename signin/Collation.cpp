#include "Collation.h"

#include "platform/db/Connection.h"
#include "platform/db/Query.h"

namespace {

constexpr int ChineseCodePage = 936;
constexpr int Utf8CodePage = 65001;

} // namespace

const QString CollationStatement = QStringLiteral(
    "SELECT CONVERT(nvarchar(128), DATABASEPROPERTYEX(DB_NAME(), 'Collation')) AS collation_name,"
    " CONVERT(int, COLLATIONPROPERTY(CONVERT(nvarchar(128), DATABASEPROPERTYEX(DB_NAME(), "
    "'Collation')), 'CodePage')) AS code_page");

QString CollationRefusal(const QString& collation, int codePage)
{
    if (codePage == ChineseCodePage)
        return QString();
    if (collation.isEmpty())
        return QStringLiteral("读不到数据库的排序规则，不能确定能否保存中文。"
                              "请把数据库的排序规则设为 Chinese_PRC_CI_AS 后再连接。");
    // A UTF-8 collation keeps Chinese, but at three bytes a character the
    // designed varchar lengths, counted two bytes a character, do not hold it.
    if (codePage == Utf8CodePage)
        return QStringLiteral("数据库的排序规则是 %1(代码页%2)，汉字按UTF-8每个占3个字节，"
                              "放不进按每个汉字2个字节设计的字段。"
                              "请把数据库的排序规则改为 Chinese_PRC_CI_AS 后再连接。")
            .arg(collation)
            .arg(codePage);
    return QStringLiteral("数据库的排序规则是 %1(代码页%2)，不能保存中文。"
                          "请把数据库的排序规则改为 Chinese_PRC_CI_AS 后再连接。")
        .arg(collation)
        .arg(codePage);
}

QString ChineseTextRefusal(db::Connection& connection)
{
    if (connection.isEmbedded())
        return QString();
    db::Query query(connection);
    query.addSql(CollationStatement);
    query.open();
    return CollationRefusal(query.text(0), query.value(1).toInt());
}
