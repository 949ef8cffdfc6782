#include "CsvFile.h"

#include "platform/text/Gbk.h"

#include <QFile>
#include <algorithm>

QString CsvFileName(const QString& chosen)
{
    const QString extension = QStringLiteral(".csv");
    QString name = chosen;
    if (name.endsWith(extension, Qt::CaseSensitive))
        name.chop(extension.size());
    return name + extension;
}

QString CsvField(const QString& value)
{
    const bool quoted = std::any_of(value.cbegin(), value.cend(), [](QChar c) {
        return c == u',' || c == u'"' || c == u'\r' || c == u'\n';
    });
    if (!quoted)
        return value;
    QString field = value;
    field.replace(u'"', QStringLiteral("\"\""));
    return u'"' + field + u'"';
}

QString SaveCsvLines(const QString& path, const QStringList& lines)
{
    QString text;
    qsizetype size = 0;
    for (const QString& line : lines)
        size += line.size() + 2;
    text.reserve(size);
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    const QByteArray bytes = Gbk::encode(text);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size() || !file.flush())
        return file.errorString();
    file.close();
    // Closing writes what is left; an error there fails the export as well.
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    return QString();
}
