#pragma once

#include <QString>
#include <QTemporaryDir>

// A fresh folder that stands in for the program's folder during one test:
// the settings file, the embedded databases and the temp folder go there.
class TestFolder final
{
public:
    TestFolder();
    ~TestFolder();

    QString path() const;                    // with a trailing "/"
    QString file(const QString& name) const; // path() + name
    // The connection string of an embedded database in this folder.
    QString embeddedConnectionString(const QString& database = QStringLiteral("test")) const;

private:
    QTemporaryDir m_dir;
};
