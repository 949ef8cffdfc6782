#pragma once

#include <QByteArray>
#include <QString>

// The connection settings kept in the settings file beside the executable
// (section "odbc"), every value scrambled.
struct ConnectionSettings
{
    QString host;
    QString user;
    QString database;
    QString password;
    QString dbuser; // the operator who last signed in
};

QByteArray ScrambleText(const QByteArray& text);
QByteArray UnscrambleText(const QByteArray& text);

// The one connection-string format of the program. A value that holds a ";"
// or starts with a quote is quoted, so that it cannot end early or add a key;
// every other value goes in as it is.
QString BuildConnectionString(const QString& host, const QString& database, const QString& user,
                              const QString& password);

// The executable's path with its extension replaced by ".ini".
QString SettingsFilePath();

// Reads host, user, database, password and dbuser; missing values are empty.
ConnectionSettings ReadConnectionSettings();
// Writes host, user, port, database and password, in that order.
void WriteConnectionSettings(const QString& host, const QString& user, const QString& port,
                             const QString& database, const QString& password);
void WriteOperatorName(const QString& dbuser);
