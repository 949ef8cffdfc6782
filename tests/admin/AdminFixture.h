#pragma once

#include "common/SqlText.h"
#include "common/_md5.h"
#include "platform/db/StatementLog.h"
#include "support/MainWindowFixture.h"

#include <QStringList>
#include <memory>

// The main window's fixture with what the administration tests look at: the
// operators and options as stored, and the statements the program sends.
class AdminFixture
{
public:
    QStringList sent; // every statement text, without its trailing line end

    void setUp()
    {
        m_base = std::make_unique<MainWindowFixture>();
        sent.clear();
    }
    void tearDown() { m_base.reset(); }

    MessageRecorder& messages() { return m_base->messages(); }

    // One text column, no attachments, and the operator signed in.
    void createDatabase(const QString& operatorName = QStringLiteral("root"))
    {
        m_base->createDatabase({{QStringLiteral("名称"), QStringLiteral("varchar"), 20}}, false,
                               false, operatorName);
    }
    void execute(const QStringList& lines) { m_base->execute(lines); }
    // right is the stored text of user_wr: "1", "0", "NULL", ...
    void addOperator(const QString& name, const QString& alias, const QString& right,
                     const QString& password = QStringLiteral("123456"))
    {
        execute(
            {QStringLiteral("INSERT INTO fid_user(user_name,user_password,user_alias,user_wr)"
                            " values('%1','%2','%3',%4);")
                 .arg(QuoteDoubled(name), PasswordDigest(password), QuoteDoubled(alias), right)});
    }

    // The rows of a statement, each row's fields as text joined by "|".
    QStringList rows(const QString& statement)
    {
        QStringList result;
        for (const QStringList& fields : m_base->rows(statement))
            result << fields.join(QLatin1Char('|'));
        return result;
    }
    QStringList operators()
    {
        return rows(QStringLiteral(
            "select user_name,user_password,user_alias,user_wr from fid_user order by id"));
    }
    QString option(const QString& name)
    {
        return rows(QStringLiteral("select parameter from fid_set where options='%1'").arg(name))
            .value(0);
    }

    void recordStatements()
    {
        sent.clear();
        db::setStatementObserver([this](const QString& text) {
            sent << (text.endsWith(QLatin1String("\r\n")) ? text.chopped(2) : text);
        });
    }

    template <typename T> static T* control(const QWidget& window, const QString& name)
    {
        return MainWindowFixture::control<T>(window, name);
    }

private:
    std::unique_ptr<MainWindowFixture> m_base;
};
