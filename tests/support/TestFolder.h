#pragma once

#include "support/TestDatabase.h"

#include <QString>
#include <QTemporaryDir>
#include <map>
#include <memory>

// A fresh folder that stands in for the program's folder during one test:
// the settings file, the embedded databases and the temp folder go there.
// It also holds the test's databases, on the engine the test run names.
class TestFolder final
{
public:
    TestFolder();
    ~TestFolder(); // drops the databases

    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    QString path() const;                    // with a trailing "/"
    QString file(const QString& name) const; // path() + name

    // The database of that name, made when first asked for; the collation
    // counts on SQL Server only.
    TestDatabase&
    database(const QString& name = QStringLiteral("test"),
             const QString& collation = QLatin1String(TestDatabase::ChineseCollation));
    QString connectionString(const QString& name = QStringLiteral("test"))
    {
        return database(name).connectionString();
    }

private:
    QTemporaryDir m_dir;
    std::map<QString, std::unique_ptr<TestDatabase>> m_databases;
};
