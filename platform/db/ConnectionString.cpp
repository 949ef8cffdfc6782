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

QString quotedValue(const QString& value)
{
    const bool plain = !value.contains(u';') && !value.startsWith(u'"') && !value.startsWith(u'\'');
    if (plain)
        return value;
    QString quoted = value;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

ConnectionStringParts parseConnectionString(const QString& connectionString)
{
    ConnectionStringParts parts;
    const QString& text = connectionString;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype equals = text.indexOf(u'=', i);
        const qsizetype semicolon = text.indexOf(u';', i);
        if (equals < 0)
            break;
        if (semicolon >= 0 && semicolon < equals) {
            i = semicolon + 1; // an item without "=" is ignored
            continue;
        }
        const QString key = text.mid(i, equals - i).simplified().toLower();
        QString value;
        i = equals + 1;
        const QChar quote = i < text.size() ? text[i] : QChar();
        if (quote == u'"' || quote == u'\'') {
            // A quoted value runs to the quote that is not doubled; what
            // follows it up to the next ";" is ignored.
            ++i;
            while (i < text.size()) {
                if (text[i] == quote) {
                    if (i + 1 < text.size() && text[i + 1] == quote) {
                        value += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text[i++];
            }
            const qsizetype end = text.indexOf(u';', i);
            i = end < 0 ? text.size() : end + 1;
        } else {
            const qsizetype end = text.indexOf(u';', i);
            value = text.mid(i, end < 0 ? -1 : end - i);
            i = end < 0 ? text.size() : end + 1;
        }
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

ServerAddress serverAddress(const QString& dataSource)
{
    ServerAddress address;
    QString server = dataSource.trimmed();
    const qsizetype comma = server.indexOf(u',');
    if (comma >= 0) {
        bool isNumber = false;
        const int number = server.mid(comma + 1).trimmed().toInt(&isNumber);
        // A malformed port stays in the server name, so that the connection
        // fails instead of reaching the default port.
        if (isNumber && number > 0 && number <= 65535) {
            address.port = number;
            server = server.left(comma).trimmed();
        }
    }
    const qsizetype backslash = server.indexOf(u'\\');
    if (backslash >= 0) {
        address.host = hostName(server.left(backslash).trimmed());
        // A port fixes the address; FreeTDS asks the server's browser service
        // for an instance's port only when no port is given.
        if (address.port == 0)
            address.instance = server.mid(backslash + 1).trimmed();
    } else {
        address.host = hostName(server);
        if (address.port == 0)
            address.port = DefaultPort;
    }
    return address;
}

QString odbcConnectionString(const ConnectionStringParts& parts)
{
    const ServerAddress address = serverAddress(parts.dataSource);
    const QString server =
        address.instance.isEmpty() ? address.host : address.host + u'\\' + address.instance;
    QStringList attributes{QStringLiteral("DRIVER={FreeTDS}"),
                           attribute(QStringLiteral("SERVER"), server)};
    if (address.port != 0)
        attributes << attribute(QStringLiteral("PORT"), QString::number(address.port));
    attributes << attribute(QStringLiteral("DATABASE"), parts.initialCatalog)
               << attribute(QStringLiteral("UID"), parts.userId)
               << attribute(QStringLiteral("PWD"), parts.password)
               << QStringLiteral("TDS_Version=7.4") << QStringLiteral("ClientCharset=UTF-8")
               << QStringLiteral("Encryption=require");
    return attributes.join(u';');
}

} // namespace db
