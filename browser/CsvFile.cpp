#include "CsvFile.h"

#include "platform/text/Gbk.h"

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

namespace {
// Characters gathered before they are encoded and written.
constexpr qsizetype BlockSize = 64 * 1024;
} // namespace

CsvWriter::CsvWriter(const QString& path) : m_file(path)
{
    if (!m_file.open(QIODevice::WriteOnly))
        m_failure = m_file.errorString();
    m_pending.reserve(BlockSize + 1024);
}

void CsvWriter::addLine(const QString& line)
{
    m_pending += line;
    m_pending += QStringLiteral("\r\n");
    if (m_pending.size() >= BlockSize)
        writePending();
}

void CsvWriter::writePending()
{
    if (m_failure.isEmpty()) {
        const QByteArray bytes = Gbk::encode(m_pending);
        if (m_file.write(bytes) != bytes.size())
            m_failure = m_file.errorString();
    }
    m_pending.resize(0); // keeps its room for the next block
}

QString CsvWriter::finish()
{
    writePending();
    if (!m_failure.isEmpty()) {
        m_file.cancelWriting();
        return m_failure;
    }
    // Committing writes what is left and renames; a failure there fails the
    // export as well.
    if (!m_file.commit())
        m_failure = m_file.errorString();
    return m_failure;
}
