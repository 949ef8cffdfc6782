#include "MainWindowFixture.h"

#include "common/FileDialogs.h"
#include "common/SqlText.h"
#include "common/_md5.h"
#include "platform/db/StatementLog.h"
#include "signin/FirstRunSchema.h"
#include "signin/Settings.h"

#include <QGuiApplication>

namespace {

ColumnType designedType(const QString& type)
{
    if (type == QLatin1String("int"))
        return ColumnType::Integer;
    if (type == QLatin1String("float"))
        return ColumnType::Real;
    // Anything else would make a table the designer never makes.
    if (type != QLatin1String("varchar"))
        qFatal("no column type %s", qPrintable(type));
    return ColumnType::Text;
}

} // namespace

MainWindowFixture::MainWindowFixture()
{
    QGuiApplication::setApplicationDisplayName(QString());
}

MainWindowFixture::~MainWindowFixture()
{
    db::setStatementObserver({});
    FileDialogs::setChooser({});
}

void MainWindowFixture::createDatabase(const QList<DesignColumn>& columns, bool pictures,
                                       bool documents, const QString& operatorName)
{
    TableDesign design{{}, pictures, documents};
    for (const DesignColumn& column : columns)
        design.columns.append({column.title, designedType(column.type), column.length});
    execute(FirstRunBatch(MainTableSqlFor(design), TitleTableSqlFor(design)));
    signIn(operatorName);
}

void MainWindowFixture::addOperator(const QString& name, const QString& alias, int right)
{
    execute(
        {QStringLiteral("INSERT INTO fid_user(user_name,user_password,user_alias,user_wr) "
                        "values('%1','%2','%3',%4);")
             .arg(QuoteDoubled(name), PasswordDigest(QStringLiteral("123456")), QuoteDoubled(alias))
             .arg(right)});
}

void MainWindowFixture::signIn(const QString& operatorName)
{
    const TestDatabase& database = m_folder.database();
    WriteConnectionSettings(database.host(), database.user(), QStringLiteral("1433"),
                            database.name(), database.password());
    WriteOperatorName(operatorName);
}

void MainWindowFixture::execute(const QStringList& lines)
{
    m_folder.database().execute(lines);
}

QList<QStringList> MainWindowFixture::rows(const QString& statement)
{
    return m_folder.database().rows(statement);
}

QStringList MainWindowFixture::errorTexts() const
{
    QStringList texts;
    for (const MessageBox::Shown& shown : m_messages.shown()) {
        if (shown.flags & MessageBox::ErrorIcon)
            texts.append(shown.text);
    }
    return texts;
}
