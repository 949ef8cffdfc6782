#include "ConnectionString.h"

#include <QStringList>

namespace db {

namespace {

constexpr int DefaultPort = 1433;

// FreeTDS and unixODBC read "{...}" as one value with "}}" standing for "}",
// so a value in braces cannot end early or start another attribute.
QString odbcValue(const QString& value)
{
    bool braces = false;
    for (const QChar c : value) {
        if (c == u';' || c == u'{' || c == u'}' || c.isSpace()) {
            braces = true;
            break;
        }
    }
    if (!braces)
        return value;
    QString escaped = value;
    escaped.replace(u'}', QStringLiteral("}}"));
    return u'{' + escaped + u'}';
}

QString attribute(const QString& key, const QString& value)
{
    return key + u'=' + odbcValue(value);
}

// "." and "(local)" are SQL Server's names for this machine; FreeTDS does not
// know them.
QString hostName(const QString& host)
{
    if (host == u"." || host.compare(u"(local)", Qt::CaseInsensitive) == 0)
        return QStringLiteral("localhost");
    return host;
}

} // namespace

ConnectionStringParts parseConnectionString(const QString& connectionString)
{
    ConnectionStringParts parts;
    const QStringList items = connectionString.split(u';');
    for (const QString& item : items) {
        const qsizetype equals = item.indexOf(u'=');
        if (equals < 0)
            continue;
        const QString key = item.left(equals).simplified().toLower();
        const QString value = item.mid(equals + 1);
        if (key == u"provider")
            parts.provider = value;
        else if (key == u"initial catalog" || key == u"database")
            parts.initialCatalog = value;
        else if (key == u"data source" || key == u"server")
            parts.dataSource = value;
        else if (key == u"user id" || key == u"uid")
            parts.userId = value;
        else if (key == u"password" || key == u"pwd")
            parts.password = value;
    }
    return parts;
}

bool isEmbeddedDataSource(const QString& dataSource)
{
    return dataSource.trimmed().compare(u"(localdb)", Qt::CaseInsensitive) == 0;
}

QString odbcConnectionString(const ConnectionStringParts& parts)
{
    QString server = parts.dataSource.trimmed();
    QString port;
    const qsizetype comma = server.indexOf(u',');
    if (comma >= 0) {
        bool isNumber = false;
        const int number = server.mid(comma + 1).trimmed().toInt(&isNumber);
        // A malformed port stays in the server name, so that the connection
        // fails instead of reaching the default port.
        if (isNumber && number > 0 && number <= 65535) {
            port = QString::number(number);
            server = server.left(comma).trimmed();
        }
    }
    const qsizetype backslash = server.indexOf(u'\\');
    if (backslash >= 0) {
        const QString host = hostName(server.left(backslash).trimmed());
        const QString instance = server.mid(backslash + 1).trimmed();
        // A port fixes the address; FreeTDS asks the server's browser service
        // for an instance's port only when no port is given.
        server = port.isEmpty() ? host + u'\\' + instance : host;
    } else {
        server = hostName(server);
        if (port.isEmpty())
            port = QString::number(DefaultPort);
    }

    QStringList attributes{QStringLiteral("DRIVER={FreeTDS}"),
                           attribute(QStringLiteral("SERVER"), server)};
    if (!port.isEmpty())
        attributes << attribute(QStringLiteral("PORT"), port);
    attributes << attribute(QStringLiteral("DATABASE"), parts.initialCatalog)
               << attribute(QStringLiteral("UID"), parts.userId)
               << attribute(QStringLiteral("PWD"), parts.password)
               << QStringLiteral("TDS_Version=7.4") << QStringLiteral("ClientCharset=UTF-8");
    return attributes.join(u';');
}

} // namespace db
