#include "TempFolder.h"

#include "Attachments.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace TempFolder {
namespace {

using Attachments::Refusal;

constexpr mode_t OperatorOnly = S_IRWXU;
constexpr qsizetype HeadSize = 4096;

// An open file descriptor, closed with its owner.
class Descriptor final
{
public:
    explicit Descriptor(int fd = -1) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

QString SystemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Why the folder is not the operator's own; empty when it is.
QString Foreign(const struct stat& status)
{
    if (S_ISLNK(status.st_mode))
        return QStringLiteral("是一个链接");
    if (!S_ISDIR(status.st_mode))
        return QStringLiteral("不是文件夹");
    if (status.st_uid != ::geteuid())
        return QStringLiteral("属于另一个用户");
    if ((status.st_mode & 0777) != OperatorOnly) // set-group-ID and the like aside
        return QStringLiteral("的权限不是 700(只有自己可以读写)");
    return QString();
}

Refusal NotOwn(const QString& folder, const QString& why)
{
    return Refusal(
        QStringLiteral("临时文件夹 %1 %2,为安全起见没有写入任何文件。请删除这个文件夹或者"
                       "把它改为只属于自己(权限 700)后再试;也可以用导出把文件保存到别处。")
            .arg(folder, why));
}

// The folder open, when it is a folder of the effective user with mode 0700
// (checked on what was opened, so it cannot be swapped in between); -1 and
// the reason otherwise.
int OpenOwn(int at, const QString& path, QString& why)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status
    {
    };
    if (::fstatat(at, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        why = SystemError();
        return -1;
    }
    why = Foreign(status);
    if (!why.isEmpty())
        return -1;
    Descriptor folder(
        ::openat(at, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (folder.get() < 0 || ::fstat(folder.get(), &status) != 0) {
        why = SystemError();
        return -1;
    }
    why = Foreign(status);
    return why.isEmpty() ? folder.release() : -1;
}

// Makes the folder when it is missing; its mode is set on what was made, so
// that an operator's umask cannot open it to others.
void MakeMissing(int at, const QString& path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdirat(at, name.constData(), OperatorOnly) == 0) {
        Descriptor made(
            ::openat(at, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (made.get() >= 0)
            ::fchmod(made.get(), OperatorOnly);
    } else if (errno != EEXIST) {
        throw Refusal(QStringLiteral("无法创建临时文件夹 %1:%2").arg(path, SystemError()));
    }
}

int OpenOrMakeOwn(int at, const QString& path)
{
    MakeMissing(at, path);
    QString why;
    const int folder = OpenOwn(at, path, why);
    if (folder < 0)
        throw NotOwn(path, why);
    return folder;
}

const QRegularExpression& RecordFolderPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^(doc|pic)[0-9]+$"));
    return pattern;
}

// Names in an open folder, "." and ".." left out.
QStringList Entries(int folder)
{
    QStringList names;
    DIR* listing = ::fdopendir(::dup(folder));
    if (!listing)
        return names;
    while (const dirent* entry = ::readdir(listing)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name != QLatin1String(".") && name != QLatin1String(".."))
            names << name;
    }
    ::closedir(listing);
    return names;
}

void Unlink(int folder, const QString& name, int flags = 0)
{
    ::unlinkat(folder, QFile::encodeName(name).constData(), flags);
}

} // namespace

Copy::Copy(const QString& folder, const QString& recordFolder)
    : m_recordPath(folder + QLatin1Char('/') + recordFolder)
{
    const Descriptor top(OpenOrMakeOwn(AT_FDCWD, folder));
    m_record = OpenOrMakeOwn(top.get(), recordFolder);
    // Created new: an entry of that name makes it fail, a link included.
    for (int attempt = 0; m_part < 0 && attempt < 16; ++attempt) {
        m_partName = QStringLiteral(".part-%1")
                         .arg(QRandomGenerator::system()->generate64(), 16, 16, QLatin1Char('0'));
        m_part = ::openat(m_record, QFile::encodeName(m_partName).constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (m_part < 0 && errno != EEXIST)
            break;
    }
    if (m_part < 0) {
        const QString error = SystemError();
        ::close(m_record);
        throw Refusal(QStringLiteral("无法在临时文件夹 %1 中写入文件:%2").arg(m_recordPath, error));
    }
}

Copy::~Copy()
{
    if (m_part >= 0) {
        ::close(m_part);
        Unlink(m_record, m_partName);
    }
    ::close(m_record);
}

void Copy::write(const char* bytes, qint64 size)
{
    if (m_head.size() < HeadSize)
        m_head.append(bytes, qMin(size, HeadSize - m_head.size()));
    while (size > 0) {
        const ssize_t written = ::write(m_part, bytes, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            throw Refusal(QStringLiteral("无法在临时文件夹 %1 中写入文件:%2")
                              .arg(m_recordPath, SystemError()));
        bytes += written;
        size -= written;
    }
}

QString Copy::finish(const QString& name)
{
    const int part = std::exchange(m_part, -1);
    const bool closed = ::close(part) == 0;
    if (!closed || ::renameat(m_record, QFile::encodeName(m_partName).constData(), m_record,
                              QFile::encodeName(name).constData()) != 0) {
        const QString error = SystemError();
        Unlink(m_record, m_partName);
        throw Refusal(
            QStringLiteral("无法在临时文件夹 %1 中写入文件 %2:%3").arg(m_recordPath, name, error));
    }
    return m_recordPath + QLatin1Char('/') + name;
}

QString RecordFolder(const QString& field, const QString& key)
{
    return field + key;
}

void Clean(const QString& folder)
{
    QString why;
    const Descriptor top(OpenOwn(AT_FDCWD, folder, why));
    if (top.get() < 0)
        return;
    for (const QString& name : Entries(top.get())) {
        struct stat status
        {
        };
        if (::fstatat(top.get(), QFile::encodeName(name).constData(), &status,
                      AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        if (S_ISDIR(status.st_mode) && RecordFolderPattern().match(name).hasMatch()) {
            const Descriptor record(OpenOwn(top.get(), name, why));
            if (record.get() < 0)
                continue;
            // Only this program writes there: everything in it is a copy or
            // the part of one that a run ended in.
            for (const QString& inside : Entries(record.get()))
                Unlink(record.get(), inside);
            Unlink(top.get(), name, AT_REMOVEDIR);
        } else if ((S_ISREG(status.st_mode) || S_ISLNK(status.st_mode)) &&
                   !name.startsWith(QLatin1Char('.'))) {
            Unlink(top.get(), name); // a link goes, what it points to stays
        }
    }
    ::rmdir(QFile::encodeName(folder).constData());
}

} // namespace TempFolder
