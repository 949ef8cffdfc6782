#include "attachments/PictureHelper.h"

#include "attachments/Attachments.h"
#include "platform/confine/ConfinedProcess.h"
#include "platform/pictures/Bitmap.h"
#include "platform/pictures/PictureError.h"
#include "platform/pictures/Thumbnail.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QProcessEnvironment>
#include <QProgressDialog>
#include <cstring>
#include <memory>

namespace PictureHelper {
namespace {

const char HelperFlag[] = "--picture-helper";
const char ThumbnailMode[] = "thumbnail";
const char BitmapMode[] = "bitmap";
const char PreviewMode[] = "preview";
constexpr int RefusedExitCode = 2;

// The answer to a preview stays small whatever size the caller asks for.
constexpr QSize PreviewCap{512, 512};

// The picture drawn on white, at most `room` large, its shape kept.
QImage Drawn(const pictures::Picture& picture, QSize room)
{
    QSize shown = picture.size();
    if (shown.isEmpty())
        throw pictures::PictureError(pictures::PictureError::Reason::Corrupt,
                                     QStringLiteral("The picture has no size."));
    if (shown.width() > room.width() || shown.height() > room.height())
        shown.scale(room, Qt::KeepAspectRatio);
    QImage image(shown.expandedTo({1, 1}), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    picture.draw(painter, QRectF(QPointF(0, 0), QSizeF(image.size())));
    return image;
}

// What the helper makes of its input in each mode.
QByteArray Answer(const QByteArrayList& arguments, const QByteArray& input)
{
    const QByteArray mode = arguments.value(0);
    const auto format = static_cast<pictures::Format>(arguments.value(1).toInt());
    if (mode == ThumbnailMode)
        return pictures::encodeBmp(
            pictures::makeThumbnail(input, format, Attachments::ThumbnailSize));
    if (mode == PreviewMode) {
        const QSize room = QSize(arguments.value(2).toInt(), arguments.value(3).toInt())
                               .boundedTo(PreviewCap)
                               .expandedTo({1, 1});
        return pictures::encodeBmp(Drawn(pictures::decode(input, format, room), room));
    }
    // Uncompressed 24 bits, which the program then reads at once.
    return pictures::encodeBmp(pictures::decodeBmp(input).convertToFormat(QImage::Format_RGB32));
}

// A helper ready to start, with its arguments after the helper flag.
std::unique_ptr<ConfinedProcess> MakeHelper(const QStringList& arguments)
{
    auto helper = std::make_unique<ConfinedProcess>(
        QCoreApplication::applicationFilePath(),
        QStringList{QString::fromLatin1(HelperFlag)} + arguments, ConfinedProcess::Limits{});
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    helper->setEnvironment(environment);
    return helper;
}

struct Answered
{
    QByteArray bytes;
    QString refusal; // the helper's reason, or what became of it
};

// Runs the helper over the bytes; nothing when the operator cancelled.
std::optional<Answered> RunHelper(QWidget* parent, const QStringList& arguments,
                                  const QByteArray& bytes)
{
    const std::unique_ptr<ConfinedProcess> helper = MakeHelper(arguments);

    std::unique_ptr<QProgressDialog> progress;
    bool busy = false;
    QObject::connect(helper.get(), &ConfinedProcess::slow, [&] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        busy = true;
        progress = std::make_unique<QProgressDialog>(QStringLiteral("正在读取图片,请稍候..."),
                                                     QStringLiteral("取消"), 0, 0, parent);
        progress->setWindowTitle(QStringLiteral("提示"));
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(0);
        QObject::connect(progress.get(), &QProgressDialog::canceled, helper.get(),
                         &ConfinedProcess::cancel);
        progress->show();
    });
    const ConfinedProcess::Result result = helper->run(bytes);
    progress.reset();
    if (busy)
        QApplication::restoreOverrideCursor();

    switch (result.outcome) {
    case ConfinedProcess::Outcome::Answered:
        return Answered{result.output, QString()};
    case ConfinedProcess::Outcome::Refused:
        return Answered{QByteArray(), QString::fromUtf8(result.output)};
    case ConfinedProcess::Outcome::Cancelled:
        return std::nullopt;
    case ConfinedProcess::Outcome::TimedOut:
        return Answered{QByteArray(), QStringLiteral("读取图片超时")};
    case ConfinedProcess::Outcome::Crashed:
        return Answered{QByteArray(), QStringLiteral("读取图片时解码程序异常终止")};
    case ConfinedProcess::Outcome::NotStarted:
        break;
    }
    return Answered{QByteArray(), QStringLiteral("无法启动图片解码程序")};
}

} // namespace

bool isHelperCall(int argc, char** argv)
{
    return argc >= 3 && std::strcmp(argv[1], HelperFlag) == 0;
}

int serve(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv); // fonts for the text of drawings
    QByteArrayList arguments;
    for (int i = 2; i < argc; ++i)
        arguments.append(argv[i]);
    QFile in;
    QFile out;
    if (!in.open(stdin, QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly))
        return 1;
    const QByteArray input = in.readAll();
    try {
        out.write(Answer(arguments, input));
        return 0;
    } catch (const pictures::PictureError& error) {
        out.write(error.detail().toUtf8());
        return RefusedExitCode;
    }
}

std::optional<QByteArray> thumbnail(QWidget* parent, const QString& fileName,
                                    pictures::Format format, const QByteArray& bytes)
{
    const std::optional<Answered> answered = RunHelper(
        parent, {QString::fromLatin1(ThumbnailMode), QString::number(int(format))}, bytes);
    if (!answered)
        return std::nullopt;
    if (answered->bytes.isEmpty())
        throw Attachments::Refusal(QStringLiteral("图片文件 %1 无法读取,文件可能已损坏:%2")
                                       .arg(QFileInfo(fileName).fileName(), answered->refusal));
    return answered->bytes;
}

std::optional<QImage> storedThumbnail(QWidget* parent, const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return QImage();
    if (QImage plain = pictures::readPlainBmp(bytes); !plain.isNull())
        return plain;
    const std::optional<Answered> answered =
        RunHelper(parent, {QString::fromLatin1(BitmapMode)}, bytes);
    if (!answered)
        return std::nullopt;
    const QImage image =
        answered->bytes.isEmpty() ? QImage() : pictures::readPlainBmp(answered->bytes);
    if (image.isNull())
        throw Attachments::Refusal(QStringLiteral("缩略图数据不是位图:%1").arg(answered->refusal));
    return image;
}

std::unique_ptr<QObject> preview(pictures::Format format, const QByteArray& bytes, QSize size,
                                 std::function<void(const QImage&)> show)
{
    std::unique_ptr<ConfinedProcess> helper =
        MakeHelper({QString::fromLatin1(PreviewMode), QString::number(int(format)),
                    QString::number(size.width()), QString::number(size.height())});
    QObject::connect(helper.get(), &ConfinedProcess::finished, helper.get(),
                     [show = std::move(show)](const ConfinedProcess::Result& result) {
                         show(result.outcome == ConfinedProcess::Outcome::Answered
                                  ? pictures::readPlainBmp(result.output)
                                  : QImage());
                     });
    helper->start(bytes);
    return helper;
}

} // namespace PictureHelper
