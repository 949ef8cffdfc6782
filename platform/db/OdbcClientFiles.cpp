#include "OdbcClientFiles.h"

#include "DbError.h"

#include <QCryptographicHash>
#include <QFile>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace db::odbc {

namespace {

struct Section
{
    QByteArray dataSource; // in odbc.ini
    QByteArray server;     // in freetds.conf
};

// FreeTDS reads a line of freetds.conf up to 255 bytes, a value up to the
// first ";" or "#", and folds blanks; unixODBC takes a line of odbc.ini whole
// but trims it. A value that would read back otherwise is refused.
bool fitsConfFile(const QString& value)
{
    if (value.toUtf8().size() > 200)
        return false;
    for (const QChar c : value) {
        if (c.isSpace() || c.category() == QChar::Other_Control || c == u';' || c == u'#')
            return false;
    }
    return true;
}

bool fitsOdbcIni(const QString& value)
{
    if (value.toUtf8().size() > 200 || value != value.trimmed())
        return false;
    for (const QChar c : value) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

// A file that lives in memory as long as the process, named by a path under
// /proc/self/fd: nothing to clean up after a crash, nothing another user reads.
class MemoryFile final
{
public:
    explicit MemoryFile(const char* name) : m_fd(memfd_create(name, MFD_CLOEXEC))
    {
        if (m_fd < 0)
            throw DbError(QStringLiteral("Cannot make a file in memory for the ODBC driver's "
                                         "settings: %1")
                              .arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    ~MemoryFile() { ::close(m_fd); }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    QByteArray path() const { return "/proc/self/fd/" + QByteArray::number(m_fd); }

    void write(const QByteArray& content)
    {
        if (::ftruncate(m_fd, 0) != 0 ||
            ::pwrite(m_fd, content.constData(), size_t(content.size()), 0) != content.size())
            throw DbError(QStringLiteral("Cannot write the ODBC driver's settings: %1")
                              .arg(QString::fromLocal8Bit(std::strerror(errno))));
    }

private:
    int m_fd;
};

class ClientFiles final
{
public:
    ClientFiles() : m_odbcIni("odbc.ini"), m_freetdsConf("freetds.conf")
    {
        setenv("ODBCINI", m_odbcIni.path().constData(), 1);
        setenv("FREETDSCONF", m_freetdsConf.path().constData(), 1);
    }

    QString dataSourceName(const ServerTarget& target)
    {
        const ServerAddress& address = target.address;
        if (!fitsConfFile(address.host) || !fitsConfFile(address.instance))
            throw DbError(QStringLiteral("The server name %1 holds characters that the ODBC "
                                         "driver cannot take.")
                              .arg(address.host));
        if (!fitsOdbcIni(target.database))
            throw DbError(QStringLiteral("The database name \"%1\" holds characters that the "
                                         "ODBC driver cannot take.")
                              .arg(target.database));
        const QByteArray certificates = trustedCertificates(target.trustedCertificates);

        QCryptographicHash hash(QCryptographicHash::Sha256);
        for (const QString& part :
             {address.host, QString::number(address.port), address.instance, target.database})
            hash.addData(part.toUtf8().append('\0'));
        hash.addData(certificates);
        const QString name =
            QStringLiteral("vardenix_") + QString::fromLatin1(hash.result().toHex().left(20));

        const std::unique_lock lock(m_mutex);
        if (m_sections.count(name) != 0)
            return name;
        QByteArray certificateFile;
        if (!certificates.isEmpty()) {
            auto& file = m_certificates.emplace_back(std::make_unique<MemoryFile>("ca.pem"));
            file->write(certificates);
            certificateFile = file->path();
        }
        m_sections.emplace(name, section(name, target, certificateFile));
        QByteArray odbcIni;
        QByteArray freetdsConf = "[global]\n";
        for (const auto& [sectionName, entry] : m_sections) {
            odbcIni += entry.dataSource;
            freetdsConf += entry.server;
        }
        m_odbcIni.write(odbcIni);
        m_freetdsConf.write(freetdsConf);
        return name;
    }

    std::shared_lock<std::shared_mutex> reading() { return std::shared_lock(m_mutex); }

private:
    static QByteArray trustedCertificates(const QString& file)
    {
        if (file.isEmpty())
            return {};
        QFile in(file);
        if (!in.open(QIODevice::ReadOnly))
            throw DbError(QStringLiteral("Cannot read the file of trusted certificates %1: %2")
                              .arg(file, in.errorString()));
        const QByteArray content = in.readAll();
        if (!content.contains("-----BEGIN CERTIFICATE-----"))
            throw DbError(QStringLiteral("The file of trusted certificates %1 holds no "
                                         "certificate.")
                              .arg(file));
        return content;
    }

    static Section section(const QString& name, const ServerTarget& target,
                           const QByteArray& certificateFile)
    {
        const ServerAddress& address = target.address;
        Section entry;
        entry.dataSource = "[" + name.toUtf8() + "]\nDriver=FreeTDS\nServername=" + name.toUtf8() +
                           "\nTDS_Version=7.4\nClientCharset=UTF-8\nEncryption=require\n";
        if (!target.database.isEmpty())
            entry.dataSource += "Database=" + target.database.toUtf8() + "\n";
        entry.server = "[" + name.toUtf8() + "]\n\thost = " + address.host.toUtf8() + "\n";
        if (address.instance.isEmpty())
            entry.server += "\tport = " + QByteArray::number(address.port) + "\n";
        else
            entry.server += "\tinstance = " + address.instance.toUtf8() + "\n";
        // The whole session is encrypted, from before the login on; a server
        // that cannot encrypt is left before anything else is sent.
        entry.server += "\ttds version = 7.4\n\tclient charset = UTF-8\n\tencryption = require\n";
        if (!certificateFile.isEmpty())
            entry.server +=
                "\tca file = " + certificateFile + "\n\tcheck certificate hostname = yes\n";
        return entry;
    }

    MemoryFile m_odbcIni;
    MemoryFile m_freetdsConf;
    std::vector<std::unique_ptr<MemoryFile>> m_certificates;
    // Written only while no login reads the files.
    std::shared_mutex m_mutex;
    std::map<QString, Section> m_sections;
};

// Never destroyed: a login at the process's end (a test's clean-up) still
// finds its settings.
ClientFiles& clientFiles()
{
    static ClientFiles* const files = new ClientFiles;
    return *files;
}

} // namespace

QString dataSourceName(const ServerTarget& target)
{
    return clientFiles().dataSourceName(target);
}

void useClientFiles()
{
    clientFiles();
}

std::shared_lock<std::shared_mutex> readingClientFiles()
{
    return clientFiles().reading();
}

} // namespace db::odbc
