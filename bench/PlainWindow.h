#pragma once

// The reference's window and client: what a plain Qt client shows of the
// rows it reads (a QTableView over a table model of its page, a status line
// and the current row's thumbnail in a label), laid out as the main window's
// grid and strip, so that the reference paints as much as the program does.

#include "bench/BenchSupport.h"
#include "platform/grid/Column.h"

#include <QAbstractTableModel>
#include <QApplication>
#include <QCache>
#include <QEvent>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QSize>
#include <QTableView>
#include <QWidget>
#include <charconv>
#include <functional>
#include <utility>
#include <vector>

namespace bench {

// Painting is a low-priority posted event: handling what is pending paints
// every widget that changed and flushes the window.
inline void paintPending()
{
    QCoreApplication::processEvents();
}

// Counts the paint events a widget gets: a check that a run's painting is
// done by the time it ends.
class PaintWatch final : public QObject
{
public:
    explicit PaintWatch(QWidget* widget) { widget->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

// Times an operator's case until its painting is done, on both sides. reset
// puts the windows back where each run starts, outside the times.
inline void comparePainted(const char* name, const Pairs& pairs,
                           const std::function<void()>& program,
                           const std::function<void()>& reference, const char* target = "",
                           const std::function<void()>& reset = {})
{
    const auto runAndPaint = [](const std::function<void()>& run) {
        return [&run] {
            run();
            paintPending();
        };
    };
    printPaired(name,
                runPaired(pairs, runAndPaint(program), runAndPaint(reference),
                          [&reset] {
                              paintPending();
                              if (reset) {
                                  reset();
                                  paintPending();
                              }
                          }),
                target);
}

// The engine alone: the program's handler with its painting outside the
// times, against the bare client's reading of the same rows (and the same
// thumbnail).
inline void compareEngine(const Pairs& pairs, const std::function<void()>& program,
                          const std::function<void()>& bare,
                          const std::function<void()>& reset = {},
                          const char* name = "  engine only")
{
    printPaired(name, runPaired(pairs, program, bare, [&reset] {
                    paintPending();
                    if (reset) {
                        reset();
                        paintPending();
                    }
                }));
}

// The columns of a page, shown in the order and with the titles given; the
// texts are made from the page's values when the view asks.
class PageModel final : public QAbstractTableModel
{
public:
    // The rows change in place when their count stays, as on every page but
    // the last, else the views lay them out again.
    void setPage(Page page)
    {
        if (page.size() == m_page.size() && !m_columns.empty()) {
            m_page = std::move(page);
            if (m_page.size() > 0)
                emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1));
            return;
        }
        beginResetModel();
        m_page = std::move(page);
        endResetModel();
    }

    void setColumns(std::vector<int> columns, QStringList titles)
    {
        beginResetModel();
        m_columns = std::move(columns);
        m_titles = std::move(titles);
        endResetModel();
    }

    const Page& page() const { return m_page; }

    int rowCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_page.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override
    {
        return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        const Page::Value value = m_page.value(static_cast<std::size_t>(index.row()),
                                               m_columns[static_cast<std::size_t>(index.column())]);
        if (role == Qt::TextAlignmentRole && value.tag != Page::Tag::Bytes &&
            value.tag != Page::Tag::Null)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        if (role != Qt::DisplayRole)
            return QVariant();
        switch (value.tag) {
        case Page::Tag::Null:
            return QString();
        case Page::Tag::Integer:
            return QString::number(value.integer);
        case Page::Tag::Real: {
            char buffer[32];
            const auto end = std::to_chars(buffer, buffer + sizeof buffer, value.real,
                                           std::chars_format::general, 15);
            return QString::fromLatin1(buffer, end.ptr - buffer);
        }
        case Page::Tag::Bytes:
            return QString::fromUtf8(value.bytes.data(),
                                     static_cast<qsizetype>(value.bytes.size()));
        }
        return QVariant();
    }

    // No row numbers: an empty header of a fixed width, which the view need
    // not measure row by row.
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Vertical)
            return role == Qt::SizeHintRole ? QVariant(QSize(16, 0)) : QVariant();
        return role == Qt::DisplayRole ? QVariant(m_titles.value(section)) : QVariant();
    }

private:
    Page m_page;
    std::vector<int> m_columns;
    QStringList m_titles;
};

// A grid, a thumbnail and a status line in a window of their own.
class PlainWindow final : public QWidget
{
public:
    // Its grid and thumbnail take the sizes of the program's, whose columns'
    // widths it copies once a page is shown.
    PlainWindow(const QTableView& grid, const QLabel& thumbnail)
        : m_grid(grid), m_view(this), m_thumbnail(this), m_status(this)
    {
        setFont(grid.font());
        m_view.setModel(&m_model);
        m_view.setSelectionMode(grid.selectionMode());
        m_view.setSelectionBehavior(grid.selectionBehavior());
        m_view.verticalHeader()->setDefaultSectionSize(grid.verticalHeader()->defaultSectionSize());
        m_view.setGeometry(0, 0, grid.width(), grid.height());
        m_thumbnail.setScaledContents(thumbnail.hasScaledContents());
        m_thumbnail.setGeometry(grid.width(), 0, thumbnail.width(), thumbnail.height());
        m_status.setGeometry(0, grid.height(), grid.width(), 20);
        resize(grid.width() + thumbnail.width(), grid.height() + 20);
    }

    void setColumns(std::vector<int> columns, const QStringList& titles)
    {
        m_model.setColumns(std::move(columns), titles);
        for (int i = 0; i < m_model.columnCount(); ++i)
            m_view.horizontalHeader()->resizeSection(i, m_grid.horizontalHeader()->sectionSize(i));
    }

    // The page in the grid, its first row current, and the status line.
    void showPage(Page page, const QString& status)
    {
        m_model.setPage(std::move(page));
        m_view.setCurrentIndex(m_model.index(0, 0));
        m_view.scrollToTop();
        m_status.setText(status);
    }

    void moveTo(int row)
    {
        m_view.setCurrentIndex(m_model.index(row, std::max(0, m_view.currentIndex().column())));
    }

    const Page& page() const { return m_model.page(); }

    // The thumbnail of the record key; a picture made from the same bytes
    // before is shown again without decoding (as many as 8 MB of them).
    void showThumbnail(qint64 key, const QByteArray& bytes)
    {
        if (bytes.isEmpty()) {
            m_thumbnail.clear();
            return;
        }
        if (const Shown* shown = m_shown.object(key); shown && shown->bytes == bytes) {
            m_thumbnail.setPixmap(shown->picture);
            return;
        }
        const QPixmap picture = QPixmap::fromImage(QImage::fromData(bytes, "BMP"));
        const qsizetype held =
            bytes.size() + qsizetype(picture.width()) * picture.height() * picture.depth() / 8;
        m_shown.insert(key, new Shown{bytes, picture}, held);
        m_thumbnail.setPixmap(picture);
    }

    void clearThumbnail() { m_thumbnail.clear(); }

private:
    struct Shown
    {
        QByteArray bytes;
        QPixmap picture;
    };

    const QTableView& m_grid;
    PageModel m_model;
    QTableView m_view;
    QLabel m_thumbnail;
    QLabel m_status;
    QCache<qint64, Shown> m_shown{8 * 1024 * 1024};
};

// The reference's side of the operator's cases: the rows a bare client of
// the engine reads, shown in a plain window beside the program's, with the
// status line's count and the current row's thumbnail.
class PlainClient
{
public:
    // How the bare client reads: a statement's rows, the count of a
    // statement's rows, a record's thumbnail.
    struct Reader
    {
        std::function<Page(const QString&)> page;
        std::function<int(const QString&)> count;
        std::function<QByteArray(qint64)> thumbnail;
    };

    // Shows the columns the program's grid shows, with their titles.
    PlainClient(Reader reader, const QTableView& grid, const QLabel& thumbnail,
                QList<grid::Column> columns)
        : m_reader(std::move(reader)), m_window(grid, thumbnail), m_columns(std::move(columns))
    {
        m_window.show();
    }

    // The statement's rows in the grid, the first row's thumbnail, and the
    // count of countStatement's rows in the status line when one is given;
    // the count, or -1.
    int show(const QString& statement, const QString& countStatement = QString())
    {
        Page page = m_reader.page(statement);
        if (m_shown.empty())
            setColumns(page);
        const int count = countStatement.isEmpty() ? -1 : m_reader.count(countStatement);
        m_window.showPage(std::move(page),
                          count < 0 ? QString() : QStringLiteral("%1 records").arg(count));
        m_statement = statement;
        showThumbnail(0);
        return count;
    }

    // Shows the statement's rows unless they are shown already.
    void showAgain(const QString& statement)
    {
        if (m_statement != statement)
            show(statement);
    }

    void moveTo(int row)
    {
        m_window.moveTo(row);
        showThumbnail(row);
    }

    const Page& page() const { return m_window.page(); }
    const std::vector<int>& shownColumns() const { return m_shown; }
    const QList<grid::Column>& columns() const { return m_columns; }

private:
    void setColumns(const Page& page)
    {
        QStringList titles;
        for (const grid::Column& column : m_columns) {
            m_shown.push_back(page.column(column.fieldName.toStdString()));
            check(m_shown.back() >= 0, "shown column");
            titles.append(column.title);
        }
        m_id = page.column("id");
        m_pictureName = page.column("picname");
        check(m_id >= 0 && m_pictureName >= 0, "id and picname");
        m_window.setColumns(m_shown, titles);
    }

    void showThumbnail(int row)
    {
        const Page& rows = m_window.page();
        if (rows.size() == 0 ||
            rows.value(static_cast<std::size_t>(row), m_pictureName).bytes.empty()) {
            m_window.clearThumbnail();
            return;
        }
        const qint64 id = rows.value(static_cast<std::size_t>(row), m_id).integer;
        m_window.showThumbnail(id, m_reader.thumbnail(id));
    }

    static void check(bool condition, const char* what)
    {
        if (!condition)
            qFatal("wrong result: %s", what);
    }

    Reader m_reader;
    PlainWindow m_window;
    QList<grid::Column> m_columns;
    std::vector<int> m_shown;
    int m_id = -1;
    int m_pictureName = -1;
    QString m_statement;
};

} // namespace bench
