#include "TestFolder.h"

#include "platform/paths/ProgramPaths.h"

TestFolder::TestFolder()
{
    ProgramPaths::setExecutablePathForTesting(m_dir.filePath(QStringLiteral("vardenix")));
}

TestFolder::~TestFolder()
{
    m_databases.clear();
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

TestDatabase& TestFolder::database(const QString& name, const QString& collation)
{
    std::unique_ptr<TestDatabase>& database = m_databases[name];
    if (!database)
        database = std::make_unique<TestDatabase>(name, collation);
    return *database;
}
