#include "CsvFile.h"

#include "platform/text/Gbk.h"

#include <QSaveFile>

QString CsvFileName(const QString& chosen)
{
    const QString extension = QStringLiteral(".csv");
    QString name = chosen;
    if (name.endsWith(extension, Qt::CaseSensitive))
        name.chop(extension.size());
    return name + extension;
}

QString SaveCsvLines(const QString& path, const QStringList& lines)
{
    QString text;
    for (const QString& line : lines)
        text += line + QStringLiteral("\r\n");
    const QByteArray bytes = Gbk::encode(text);
    // Written beside the target and renamed over it: a failure leaves an
    // earlier file of that name whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return file.errorString();
    return QString();
}
