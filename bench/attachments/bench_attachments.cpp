// Measures the attachment commands:
//
//  1. the thumbnail of a 6000 x 4000 JPEG as the picture import makes it,
//     beside a bare libjpeg decode at 1/8 scale and beside Qt's own reader
//     asked for the thumbnail's size (QImageReader::setScaledSize), run
//     interleaved in pairs until the median is steady: minimum and median
//     of the paired ratios;
//  2. importing and exporting documents of 200 MB and 950 MB through the
//     window's commands, beside a bare client on the same engine that moves
//     them in pieces as well (the SQLite C API; unixODBC with the same
//     FreeTDS driver), in pairs; and the peak memory each command adds. The
//     SQL Server part runs when VARDENIX_MSSQL holds a connection string, in
//     a database vardenix_bench_documents it makes and drops; it runs again
//     with a 50 MB document through an office link (a relay of the
//     benchmark's own that carries 100 Mbit/s with 0.5 ms each way, which
//     both sides go through).
//
// Row moves with thumbnails are measured by bench_browser.
//
//   bench_attachments [folder [megabytes...]]
//       files and database go to the folder (default: a temp folder); the
//       documents have the sizes given (default: 200 and 950)

#include "BareOdbcDocuments.h"
#include "app/Main.h"
#include "attachments/AttachmentStrip.h"
#include "bench/BenchSupport.h"
#include "bench/ShapedRelay.h"
#include "browser/RecordBrowser.h"
#include "common/FileDialogs.h"
#include "common/MessageBox.h"
#include "platform/db/ConnectionString.h"
#include "platform/db/Query.h"
#include "platform/db/ResultRows.h"
#include "platform/db/SessionPool.h"
#include "platform/paths/ProgramPaths.h"
#include "platform/pictures/Bitmap.h"
#include "platform/pictures/Picture.h"
#include "platform/pictures/Thumbnail.h"
#include "platform/shell/DesktopOpen.h"
#include "signin/Initdb.h"
#include "signin/Settings.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <jpeglib.h>
#include <malloc.h>
#include <vector>

namespace {

const QSize Thumb(124, 73);

// A photo-like 6000 x 4000 picture: gradients and shapes, so that the JPEG
// has the size and detail of a camera's file.
QByteArray LargePhoto()
{
    QImage image(6000, 4000, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 6000, 4000);
    sky.setColorAt(0, QColor(40, 90, 200));
    sky.setColorAt(1, QColor(250, 200, 120));
    painter.fillRect(image.rect(), sky);
    QRandomGenerator random(7);
    for (int i = 0; i < 400; ++i) {
        painter.setBrush(QColor::fromRgb(random.generate()));
        painter.drawEllipse(QPoint(random.bounded(6000), random.bounded(4000)),
                            random.bounded(20, 400), random.bounded(20, 400));
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

struct JumpError
{
    jpeg_error_mgr base;
    std::jmp_buf jump;
};

void OnJpegError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JumpError*>(info->err)->jump, 1);
}

// libjpeg alone: decode at 1/8 into a buffer, nothing else.
bool BareDecodeEighth(const QByteArray& bytes, std::vector<unsigned char>& pixels)
{
    jpeg_decompress_struct info{};
    JumpError errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnJpegError;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    info.scale_num = 1;
    info.scale_denom = 8;
    info.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    pixels.resize(std::size_t(info.output_width) * info.output_height * 4);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = pixels.data() + std::size_t(info.output_scanline) * info.output_width * 4;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

void BenchThumbnail()
{
    std::printf("Making a 6000 x 4000 JPEG...\n");
    const QByteArray photo = LargePhoto();
    std::printf("  %.1f MB\n", photo.size() / 1048576.0);

    const auto importPath = [&] {
        pictures::encodeBmp(pictures::makeThumbnail(photo, pictures::Format::Jpeg, Thumb));
    };
    std::vector<unsigned char> pixels;
    const auto bare = [&] {
        if (!BareDecodeEighth(photo, pixels))
            qFatal("bare decode failed");
    };
    // Qt's JPEG reader decodes at a reduced scale when a size is asked for.
    const auto qtScaled = [&] {
        QBuffer buffer;
        buffer.setData(photo);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "JPEG");
        reader.setScaledSize(Thumb);
        pictures::encodeBmp(reader.read().convertToFormat(QImage::Format_RGB32));
    };
    std::printf(
        "Thumbnail of a 6000 x 4000 JPEG, import path (libjpeg 1/8, stretch, BMP) against\n");
    // At least 15 pairs, on until steady, at most 400 pairs or 15 s.
    const bench::Pairs pairs{15, 400, 15000};
    bench::printPaired("  bare libjpeg decode at 1/8", bench::runPaired(pairs, importPath, bare),
                       "  (target <= 1.2)");
    bench::printPaired("  QImageReader::setScaledSize, BMP",
                       bench::runPaired(pairs, importPath, qtScaled));
}

QString ConnectionString()
{
    return QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=test;Data Source=(localdb);"
                          "Password=;Persist Security Info=True;User ID=sa");
}

void Execute(const QStringList& lines, const QString& connectionString = ConnectionString())
{
    db::Connection connection(connectionString);
    db::Query query(connection);
    for (const QString& line : lines)
        query.addSql(line);
    query.execute();
}

// The tables as the first run makes them, with one record.
void CreateTables(const QString& connectionString)
{
    Execute(
        FirstRunBatch(
            QStringLiteral("create table fid_main(id int NOT NULL IDENTITY (1, 1),f_1 varchar(20),"
                           "pic image,picmin image,picname varchar(240),doc image,docname "
                           "varchar(240));"),
            QStringLiteral("create table fid_title(id int NOT NULL IDENTITY (1, 1),title "
                           "varchar(48), cLength integer);"
                           "insert into fid_title(title,cLength) values ('名称',20);"
                           "insert into fid_title(title,cLength) values ('pic',1);"
                           "insert into fid_title(title,cLength) values ('dbfile',1);")),
        connectionString);
    Execute({QStringLiteral("insert into fid_main(f_1) values ('row 1');")}, connectionString);
}

// The peak resident memory the work adds to what the process held before.
double PeakMb(const std::function<void()>& work)
{
    // Memory an earlier step freed would otherwise take the work's
    // allocations without showing them.
    malloc_trim(0);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    const bool reset = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
    clear.close();
    const long before = bench::statusKb("VmRSS:");
    work();
    const long peak = bench::statusKb("VmHWM:");
    if (!reset)
        std::printf("  (the peak could not be reset: figures include earlier work)\n");
    return (peak - before) / 1024.0;
}

void Check(int result, sqlite3* handle)
{
    if (result != SQLITE_OK && result != SQLITE_DONE && result != SQLITE_ROW) {
        std::printf("  reference: %s\n", sqlite3_errmsg(handle));
        std::exit(1);
    }
}

// A bare client's import with the same bound on memory as the program: in
// one transaction, the document's row gets a zero blob of the file's size,
// the file is written over it a megabyte at a time, then the name is set.
void BareImport(const QString& database, const QString& input)
{
    sqlite3* handle = bench::openLikeProgram(database);
    QFile file(input);
    file.open(QIODevice::ReadOnly);
    Check(sqlite3_exec(handle, "BEGIN", nullptr, nullptr, nullptr), handle);
    sqlite3_stmt* update = nullptr;
    Check(sqlite3_prepare_v2(handle, "UPDATE fid_main SET doc=? WHERE id=1", -1, &update, nullptr),
          handle);
    sqlite3_bind_zeroblob64(update, 1, sqlite3_uint64(file.size()));
    Check(sqlite3_step(update), handle);
    sqlite3_finalize(update);
    sqlite3_blob* blob = nullptr;
    Check(sqlite3_blob_open(handle, "main", "fid_main", "doc", 1, 1, &blob), handle);
    QByteArray piece(1024 * 1024, Qt::Uninitialized);
    for (qint64 done = 0; done < file.size();) {
        const qint64 read = file.read(piece.data(), piece.size());
        Check(sqlite3_blob_write(blob, piece.constData(), int(read), int(done)), handle);
        done += read;
    }
    sqlite3_blob_close(blob);
    Check(sqlite3_exec(handle, "UPDATE fid_main SET docname='large.doc' WHERE id=1; COMMIT",
                       nullptr, nullptr, nullptr),
          handle);
    sqlite3_close(handle);
}

// A bare client's export: the blob read a megabyte at a time into the file,
// which is written beside the target and renamed, as the program keeps an
// earlier file whole that way.
void BareExport(const QString& database, const QString& output)
{
    sqlite3* handle = bench::openLikeProgram(database);
    QSaveFile file(output);
    file.open(QIODevice::WriteOnly);
    Check(sqlite3_exec(handle, "BEGIN", nullptr, nullptr, nullptr), handle);
    sqlite3_blob* blob = nullptr;
    Check(sqlite3_blob_open(handle, "main", "fid_main", "doc", 1, 0, &blob), handle);
    const qint64 size = sqlite3_blob_bytes(blob);
    QByteArray piece(1024 * 1024, Qt::Uninitialized);
    for (qint64 done = 0; done < size;) {
        const int length = int(std::min<qint64>(piece.size(), size - done));
        Check(sqlite3_blob_read(blob, piece.data(), length, int(done)), handle);
        file.write(piece.constData(), length);
        done += length;
    }
    sqlite3_blob_close(blob);
    Check(sqlite3_exec(handle, "COMMIT", nullptr, nullptr, nullptr), handle);
    sqlite3_close(handle);
    file.commit();
}

// A bare client of an engine: moves the document of the file into the first
// record, and out of it to the file.
struct BareClient
{
    std::function<void(const QString& input)> import;
    std::function<void(const QString& output)> exportTo;
};

// The longest time the window went without answering (a 10 ms timer not
// handled) while the command ran.
qint64 LongestUnansweredMs(const std::function<void()>& command)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longest = 0;
    QTimer beat;
    beat.setInterval(10);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    beat.start();
    command();
    return std::max(longest, clock.elapsed() - last);
}

// Import and export of a document of the size through the window (the
// commands behind "导入..." and "导出...", progress included) on the database
// the settings name, beside the bare client, in pairs; and the peak memory
// each command adds.
void BenchLargeDocument(const QString& folder, qint64 size, int pairs, const BareClient& bare)
{
    const QString input = folder + QStringLiteral("large.doc");
    const QString output = folder + QStringLiteral("exported.doc");
    bench::writeRandomFile(input, size);
    TMainBox box;
    box.browser().browseAll();
    const double fileMb = double(size) / 1048576.0;
    std::printf("A %.0f MB document, %d pairs\n", fileMb, pairs);

    FileDialogs::setChooser([&](const FileDialogs::Request&) { return input; });
    const double importPeak = PeakMb([&] { box.strip().importDocument(); });
    bench::printPaired(
        "  import, program / bare client",
        bench::runPaired(
            pairs, [&] { box.strip().importDocument(); }, [&] { bare.import(input); }, {}, 1),
        " (target <= 1.2)");

    FileDialogs::setChooser([&](const FileDialogs::Request&) { return output; });
    const double exportPeak = PeakMb([&] { box.strip().exportDocument(); });
    const bool whole = QFile(output).size() == size;
    bench::printPaired(
        "  export, program / bare client",
        bench::runPaired(
            pairs, [&] { box.strip().exportDocument(); }, [&] { bare.exportTo(output); }, {}, 1),
        " (target <= 1.2)");
    FileDialogs::setChooser({});

    std::printf("  import peak %6.1f MB, export peak %6.1f MB (target: independent of the size), "
                "%s\n",
                importPeak, exportPeak, whole ? "size checked" : "SIZE DIFFERS");
    FileDialogs::setChooser([&](const FileDialogs::Request&) { return input; });
    const qint64 importUnanswered = LongestUnansweredMs([&] { box.strip().importDocument(); });
    FileDialogs::setChooser([&](const FileDialogs::Request&) { return output; });
    const qint64 exportUnanswered = LongestUnansweredMs([&] { box.strip().exportDocument(); });
    FileDialogs::setChooser({});
    std::printf("  the window answered within %lld ms during the import, %lld ms during the "
                "export\n",
                static_cast<long long>(importUnanswered), static_cast<long long>(exportUnanswered));
    QFile::remove(input);
    QFile::remove(output);
}

} // namespace

int main(int argc, char** argv)
{
    // The process keeps its memory as the program's does, for both sides.
    db::keepBigBlocksApart();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QTemporaryDir temporary;
    const QString folder =
        (argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path()) + QLatin1Char('/');
    ProgramPaths::setExecutablePathForTesting(folder + QStringLiteral("vardenix"));
    MessageBox::setResponder([](const MessageBox::Shown& shown) {
        if (shown.flags & MessageBox::ErrorIcon)
            std::printf("  error: %s\n", qPrintable(shown.text));
        return MessageBox::IdOk;
    });
    DesktopOpen::setOpenerForTesting([](const QString&) { return true; });

    // 950 MB is near the largest value either database takes (10^9 bytes
    // on the embedded engine, a little over 10^9 on the T-SQL server).
    QList<qint64> sizes;
    for (int k = 2; k < argc; ++k)
        sizes << QString::fromLocal8Bit(argv[k]).toLongLong();
    if (sizes.isEmpty())
        sizes = {200, 950};
    const auto documents = [&](const BareClient& bare) {
        for (const qint64 megabytes : std::as_const(sizes))
            BenchLargeDocument(folder, megabytes * 1024 * 1024, megabytes > 500 ? 3 : 5, bare);
    };

    BenchThumbnail();
    std::printf("Embedded engine\n");
    // A database left by an earlier run in the folder is made anew.
    const QString database = folder + QStringLiteral("test.db");
    QFile::remove(database);
    CreateTables(ConnectionString());
    WriteConnectionSettings(QStringLiteral("(localdb)"), QStringLiteral("sa"),
                            QStringLiteral("1433"), QStringLiteral("test"), QString());
    WriteOperatorName(QStringLiteral("root"));
    documents({[&](const QString& input) { BareImport(database, input); },
               [&](const QString& output) { BareExport(database, output); }});

    const QString server = qEnvironmentVariable("VARDENIX_MSSQL");
    if (server.isEmpty()) {
        std::printf("SQL Server: skipped, VARDENIX_MSSQL is not set\n");
        return 0;
    }
    std::printf("SQL Server\n");
    db::ConnectionStringParts parts = db::parseConnectionString(server);
    const QString name = QStringLiteral("vardenix_bench_documents");
    const QString drop = QStringLiteral("IF DB_ID('%1') IS NOT NULL DROP DATABASE %1").arg(name);
    Execute({drop}, server);
    Execute({QStringLiteral("CREATE DATABASE %1 COLLATE Chinese_PRC_CI_AS").arg(name)}, server);
    parts.initialCatalog = name;
    CreateTables(QStringLiteral("Provider=SQLOLEDB.1;Initial Catalog=%1;Data Source=%2;"
                                "Password=%3;Persist Security Info=True;User ID=%4")
                     .arg(name, parts.dataSource, parts.password, parts.userId));
    // The program reaches the server by the settings, the bare client by its
    // connection string: both by the same Data Source.
    const auto onServer = [&](const db::ConnectionStringParts& server,
                              const QList<qint64>& megabytes) {
        WriteConnectionSettings(server.dataSource, server.userId, QStringLiteral("1433"), name,
                                server.password);
        BareOdbcDocuments bare(db::odbcConnectionString(server));
        for (const qint64 size : megabytes)
            BenchLargeDocument(folder, size * 1024 * 1024, size > 500 ? 3 : 5,
                               {[&](const QString& input) { bare.import(input); },
                                [&](const QString& output) { bare.exportTo(output); }});
        db::SessionPool::clear(); // pooled sessions would keep the database in use
    };
    onServer(parts, sizes);
    {
        const QStringList hostAndPort = parts.dataSource.split(QLatin1Char(','));
        bench::ShapedRelay relay(
            hostAndPort.value(0).trimmed(),
            hostAndPort.size() > 1 ? hostAndPort.value(1).trimmed().toInt() : 1433, {100, 0.5});
        if (!relay.listening())
            qFatal("the relay does not listen");
        std::printf("SQL Server through a 100 Mbit/s link with 0.5 ms each way\n");
        db::ConnectionStringParts throughRelay = parts;
        throughRelay.dataSource = relay.dataSource();
        onServer(throughRelay, {50});
    }
    Execute({drop}, server);
    return 0;
}
