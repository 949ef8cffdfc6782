// What the progress of a long step reads on SQL Server while the driver holds
// the call: the bytes that crossed the network, counted on the session's own
// socket, through a link slow enough to watch them go.

#include "platform/db/Connection.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/DbError.h"
#include "platform/db/Query.h"
#include "platform/db/SessionPool.h"
#include "signin/Settings.h"
#include "support/Failure.h"
#include "support/RecordingRelay.h"
#include "support/TestDatabase.h"
#include "support/TestFolder.h"

#include <QFile>
#include <QTest>
#include <atomic>
#include <memory>
#include <optional>
#include <thread>

namespace {

constexpr qint64 LinkBytesPerSecond = 1024 * 1024;
constexpr qint64 DocumentBytes = 2 * 1024 * 1024;

QByteArray DocumentBytesOf(char seed)
{
    QByteArray bytes(DocumentBytes, Qt::Uninitialized);
    for (qint64 k = 0; k < bytes.size(); ++k)
        bytes[k] = static_cast<char>((k * 131 + seed) & 0xff);
    return bytes;
}

// Runs a step's work on a thread of its own and reads the gauge every few
// milliseconds until the work has ended, as the progress dialog does; it may
// interrupt the work once the gauge says so.
class GaugeWatcher final
{
public:
    std::vector<std::optional<db::InFlight>> samples;
    std::function<bool(const db::InFlight&)> interruptWhen;
    bool interrupted = false;

    db::RunnerScope watch(db::Query& query)
    {
        return query.setRunner([this](const db::Work& work, const db::Interrupt& interrupt,
                                      const db::Gauge& gauge) { run(work, interrupt, gauge); });
    }

    // The samples taken while bytes were on their way.
    std::vector<db::InFlight> moving() const
    {
        std::vector<db::InFlight> found;
        for (const std::optional<db::InFlight>& sample : samples)
            if (sample && sample->done >= 0)
                found.push_back(*sample);
        return found;
    }

private:
    void run(const db::Work& work, const db::Interrupt& interrupt, const db::Gauge& gauge)
    {
        std::atomic<bool> ended = false;
        std::exception_ptr error;
        std::thread worker([&] {
            try {
                work({});
            } catch (...) {
                error = std::current_exception();
            }
            ended = true;
        });
        while (!ended) {
            const std::optional<db::InFlight> sample = gauge();
            samples.push_back(sample);
            if (sample && !interrupted && interruptWhen && interruptWhen(*sample))
                interrupted = interrupt();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        worker.join();
        if (error)
            std::rethrow_exception(error);
    }
};

} // namespace

class InFlightTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void importCountsWhatReachedTheServer();
    void exportCountsWhatArrived();
    void cancelDuringTheSendLeavesTheRecord();

private:
    QString throughTheLink() const;
    QByteArray storedDocument() const;

    std::unique_ptr<TestFolder> m_folder;
    std::unique_ptr<TestDatabase> m_database;
    std::unique_ptr<RecordingRelay> m_link;
};

void InFlightTest::initTestCase()
{
    m_folder = std::make_unique<TestFolder>();
    m_database = std::make_unique<TestDatabase>(QStringLiteral("in_flight"));
}

void InFlightTest::init()
{
    m_database->execute(
        {QStringLiteral("create table fid_main(id int NOT NULL IDENTITY (1, 1),"
                        "doc image,docname varchar(240));"),
         QStringLiteral("insert into fid_main(doc,docname) values (0x01,'a.doc');")});
    const db::ServerAddress server = db::serverAddress(m_database->host());
    m_link = std::make_unique<RecordingRelay>(server.host, server.port, LinkBytesPerSecond);
    QVERIFY(m_link->listening());
}

void InFlightTest::cleanup()
{
    db::SessionPool::clear();
    m_link.reset();
    m_database = std::make_unique<TestDatabase>(QStringLiteral("in_flight"));
}

QString InFlightTest::throughTheLink() const
{
    return BuildConnectionString(m_link->dataSource(), m_database->name(), m_database->user(),
                                 m_database->password());
}

QByteArray InFlightTest::storedDocument() const
{
    db::Connection connection(m_database->connectionString());
    db::Query query(connection);
    query.setSql(QStringLiteral("select doc from fid_main where id=1"));
    query.open();
    return query.bytes(QStringLiteral("doc"));
}

// The gauge follows the bytes to the server: never all of them while the
// call runs, part of them on the way, more as time goes on; nothing once
// the call has ended.
void InFlightTest::importCountsWhatReachedTheServer()
{
    const QByteArray document = DocumentBytesOf(7);
    db::Connection connection(throughTheLink());
    db::Query query(connection);
    GaugeWatcher watcher;
    {
        const db::RunnerScope watched = watcher.watch(query);
        query.setSql(QStringLiteral("update fid_Main set doc=:file where id=1;"));
        query.setFileParameter(document);
        QCOMPARE(query.execute(), 1);
    }
    QCOMPARE(storedDocument(), document);

    const std::vector<db::InFlight> moving = watcher.moving();
    QVERIFY2(moving.size() >= 10, qPrintable(QString::number(moving.size())));
    qint64 before = 0;
    bool partWay = false;
    for (const db::InFlight& sample : moving) {
        QCOMPARE(sample.total, DocumentBytes);
        QVERIFY(sample.done < DocumentBytes);
        QVERIFY(sample.done >= before);
        before = sample.done;
        partWay = partWay || (sample.done > DocumentBytes / 10 && sample.done < DocumentBytes / 2);
    }
    QVERIFY(partWay);
    QVERIFY(moving.back().done > DocumentBytes / 2);
    QVERIFY(!connection.inFlight());
}

// An export shows the bytes as they arrive, its size not known beforehand.
void InFlightTest::exportCountsWhatArrived()
{
    const QByteArray document = DocumentBytesOf(3);
    m_database->execute({QStringLiteral("delete from fid_main;")});
    {
        db::Connection connection(m_database->connectionString());
        db::Query query(connection);
        query.setSql(QStringLiteral("insert into fid_main(doc) values (:file);"));
        query.setFileParameter(document);
        query.execute();
    }
    db::Connection connection(throughTheLink());
    db::Query query(connection);
    GaugeWatcher watcher;
    const QString path = m_folder->file(QStringLiteral("exported.doc"));
    {
        const db::RunnerScope watched = watcher.watch(query);
        query.setSql(QStringLiteral("select doc from  fid_Main where id=2"));
        QVERIFY(query.saveBlobToFile(path));
    }
    QFile exported(path);
    QVERIFY(exported.open(QIODevice::ReadOnly));
    QCOMPARE(exported.readAll(), document);

    const std::vector<db::InFlight> moving = watcher.moving();
    QVERIFY2(moving.size() >= 10, qPrintable(QString::number(moving.size())));
    qint64 before = 0;
    for (const db::InFlight& sample : moving) {
        QCOMPARE(sample.total, -1);
        QVERIFY(sample.done >= before);
        before = sample.done;
    }
    QVERIFY(moving.front().done < DocumentBytes / 2);
    QVERIFY(moving.back().done > DocumentBytes / 2);
}

// "取消" while the bytes are on their way: the call ends, the record keeps
// what it held, and the database goes on working.
void InFlightTest::cancelDuringTheSendLeavesTheRecord()
{
    const QByteArray old = storedDocument();
    db::Connection connection(throughTheLink());
    db::Query query(connection);
    GaugeWatcher watcher;
    watcher.interruptWhen = [](const db::InFlight& sample) {
        return sample.done > DocumentBytes / 10;
    };
    {
        const db::RunnerScope watched = watcher.watch(query);
        db::Transaction transaction(connection);
        query.setSql(QStringLiteral("update fid_Main set doc=:file where id=1;"));
        query.setFileParameter(DocumentBytesOf(5));
        const QString error = failure([&] { query.execute(); });
        QVERIFY2(!error.isEmpty(), "the interrupted import reported success");
    }
    QVERIFY(watcher.interrupted);
    QCOMPARE(storedDocument(), old);

    db::Connection again(throughTheLink());
    db::Query read(again);
    read.setSql(QStringLiteral("select docname from fid_main where id=1"));
    read.open();
    QCOMPARE(read.text(0), QStringLiteral("a.doc"));
}

QTEST_GUILESS_MAIN(InFlightTest)
#include "InFlightTest.moc"
