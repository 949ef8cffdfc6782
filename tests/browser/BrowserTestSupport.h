#pragma once

#include "app/Main.h"
#include "browser/RecordBrowser.h"
#include "platform/db/StatementLog.h"
#include "platform/grid/DataGrid.h"
#include "support/MainWindowFixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QTableView>
#include <QToolButton>
#include <functional>

// The records of the browser tests: f_1 a text, f_2 an integer and f_3 a
// real, numbered so that neither f_1 nor f_2 follows the id order.
struct Record
{
    int id = 0;
    QString f1;
    int f2 = 0;
    double f3 = 0;
};

inline Record RecordNumber(int id, int count)
{
    const int shuffled = (id * 37) % count;
    return {id, QStringLiteral("n%1").arg(shuffled, 3, 10, QLatin1Char('0')), (id * 53) % count,
            id * 0.5};
}

inline QList<Record> Records(int count)
{
    QList<Record> records;
    for (int id = 1; id <= count; ++id)
        records.append(RecordNumber(id, count));
    return records;
}

// Two data columns: with the picture group the select list is
// f_1,f_2,picname.
inline QList<DesignColumn> TwoColumns()
{
    return {{QStringLiteral("名称"), QStringLiteral("varchar"), 20},
            {QStringLiteral("数量"), QStringLiteral("int"), 10}};
}

inline QList<DesignColumn> ThreeColumns()
{
    return {{QStringLiteral("名称"), QStringLiteral("varchar"), 20},
            {QStringLiteral("数量"), QStringLiteral("int"), 10},
            {QStringLiteral("单价"), QStringLiteral("float"), 10}};
}

// Into a table of two or three data columns.
inline void InsertRecords(MainWindowFixture& fixture, const QList<Record>& records, int columns = 2)
{
    QStringList lines;
    for (const Record& record : records) {
        if (columns == 2)
            lines.append(QStringLiteral("insert into fid_main(f_1,f_2) values ('%1',%2);")
                             .arg(record.f1)
                             .arg(record.f2));
        else
            lines.append(QStringLiteral("insert into fid_main(f_1,f_2,f_3) values ('%1',%2,%3);")
                             .arg(record.f1)
                             .arg(record.f2)
                             .arg(record.f3));
    }
    if (!lines.isEmpty())
        fixture.execute(lines);
}

// The statement texts the program sends, each without the line end that
// the data layer adds.
// How a count of the matching records begins; the condition follows.
inline const QString CountHead = QStringLiteral("select count(*) from  fid_Main ");

class SentStatements final
{
public:
    SentStatements()
    {
        db::setStatementObserver([this](const QString& text) {
            m_texts.append(text.endsWith(QLatin1String("\r\n")) ? text.chopped(2) : text);
        });
    }
    ~SentStatements() { db::setStatementObserver({}); }

    SentStatements(const SentStatements&) = delete;
    SentStatements& operator=(const SentStatements&) = delete;

    const QStringList& all() const { return m_texts; }
    // Only the browse statements and the counts.
    QStringList browsing() const
    {
        QStringList texts;
        for (const QString& text : m_texts) {
            if (text.startsWith(QLatin1String("SELECT TOP ")) || text.startsWith(CountHead))
                texts.append(text);
        }
        return texts;
    }
    // The statements that change rows.
    QStringList writes() const
    {
        QStringList texts;
        for (const QString& text : m_texts) {
            if (text.startsWith(QLatin1String("INSERT"), Qt::CaseInsensitive) ||
                text.startsWith(QLatin1String("UPDATE"), Qt::CaseInsensitive) ||
                text.startsWith(QLatin1String("DELETE"), Qt::CaseInsensitive))
                texts.append(text);
        }
        return texts;
    }
    void clear() { m_texts.clear(); }

private:
    QStringList m_texts;
};

// The ids of the rows the record grid shows, in grid order.
inline QList<int> PageIds(TMainBox& box)
{
    QList<int> ids;
    for (int row = 0; row < box.browser().recordQuery().recordCount(); ++row)
        ids.append(box.browser().recordQuery().rowValue(row, 0).toInt());
    return ids;
}

inline QTableView* RecordGrid(TMainBox& box)
{
    return MainWindowFixture::control<QTableView>(box, QStringLiteral("DBGrid1"));
}

inline QToolButton* Button(TMainBox& box, const char* name)
{
    return MainWindowFixture::control<QToolButton>(box, QString::fromLatin1(name));
}

// Chooses the search column, the operator and the key.
inline void SetSearch(TMainBox& box, int column, const QString& op, const QString& key)
{
    MainWindowFixture::control<QComboBox>(box, QStringLiteral("Com11"))->setCurrentIndex(column);
    auto* operators = MainWindowFixture::control<QComboBox>(box, QStringLiteral("Com12"));
    operators->setCurrentIndex(operators->findText(op));
    MainWindowFixture::control<QLineEdit>(box, QStringLiteral("EKey"))->setText(key);
}
