// Times the T-SQL translation and the statement scanner on long texts of the
// shapes that once made them slow. Prints one line per shape: its length in
// characters and the median time in milliseconds.
//
//   bench_translate [characters]   the length of each text (default 300000)

#include "bench/BenchSupport.h"
#include "platform/db/SqlScan.h"
#include "platform/db/SqliteDialect.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

QString repeated(const QString& part, qsizetype length)
{
    QString text;
    while (text.size() + part.size() <= length)
        text += part;
    return text;
}

// Sub-selects nested inside each other, every one with its TOP.
QString nested(qsizetype length)
{
    const QString open = QStringLiteral("(SELECT TOP 1 a FROM t WHERE a IN ");
    const qsizetype depth = length / (open.size() + 1);
    return QStringLiteral("SELECT TOP 1 a FROM t WHERE a IN ") + open.repeated(depth - 1) +
           QStringLiteral("(1)") + QString(depth - 1, u')');
}

double medianMs(const std::function<void()>& run)
{
    std::vector<double> times;
    for (int i = 0; i < 5; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    return bench::median(times);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const qsizetype length = argc > 1 ? QString::fromLocal8Bit(argv[1]).toLongLong() : 300000;
    const QSet<QString> textColumns{QStringLiteral("f_1")};
    const std::vector<std::pair<const char*, QString>> shapes{
        {"selects in one statement", repeated(QStringLiteral("SELECT TOP 1 a FROM t "), length)},
        {"nested sub-selects", nested(length)},
        {"sub-selects side by side",
         QStringLiteral("SELECT TOP 1 a FROM t WHERE 1=1") +
             repeated(QStringLiteral(" AND a IN (SELECT TOP 1 b FROM u)"), length)},
        {"comparisons", QStringLiteral("SELECT TOP 1 a FROM t WHERE 1=1") +
                            repeated(QStringLiteral(" AND f_1>=100"), length)},
        {"statements", repeated(QStringLiteral("SELECT TOP 1 a FROM t;"), length)},
        {"comments", QStringLiteral("SELECT TOP 1 a FROM t WHERE f_1") +
                         repeated(QStringLiteral(" /**/"), length) + QStringLiteral("=1")},
    };
    for (const auto& [name, text] : shapes) {
        const double translate = medianMs(
            [&text = text, &textColumns] { db::sqlite::translateBatch(text, textColumns); });
        const double scan = medianMs([&text = text] {
            db::sqlscan::statementCount(text);
            db::sqlscan::firstFromTable(text);
            db::sqlscan::parameterPositions(text, QStringLiteral("file"));
        });
        std::printf("%-28s %8lld chars  translate %9.2f ms  scan %7.2f ms\n", name,
                    static_cast<long long>(text.size()), translate, scan);
    }
    return 0;
}
