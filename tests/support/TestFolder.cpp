#include "TestFolder.h"

#include "platform/paths/ProgramPaths.h"

TestFolder::TestFolder()
{
    ProgramPaths::setExecutablePathForTesting(m_dir.filePath(QStringLiteral("vardenix")));
}

TestFolder::~TestFolder()
{
    ProgramPaths::setExecutablePathForTesting(QString());
}

QString TestFolder::path() const
{
    return m_dir.path() + '/';
}

QString TestFolder::file(const QString& name) const
{
    return path() + name;
}

QString TestFolder::embeddedConnectionString(const QString& database) const
{
    return QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=%1;Data Source=(localdb);"
                          "Password=;Persist Security Info=True;User ID=sa")
        .arg(database);
}
