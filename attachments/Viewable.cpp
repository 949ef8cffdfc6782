#include "Viewable.h"

#include "Attachments.h"
#include "common/VisibleName.h"
#include "platform/pictures/Picture.h"

#include <QSet>
#include <QStringList>

namespace Viewable {
namespace {

using Attachments::Refusal;

// An allow list, not a deny list: what runs code on Linux grows with every
// installed package (Wine takes .exe, .msi, .lnk, .bat; Java takes .jar;
// desktop entries, shell, Python and Perl scripts, AppImages, packages,
// mono, flatpak references, ...) and a list of those is never complete,
// while the documents the operators keep in records are few and known. The
// list holds types whose desktop handler only shows them: office documents
// (without the macro-enabled ones: .docm, .xlsm, ...), PDF, plain text and
// pictures. Left out on purpose: HTML, SVG and XML, which a browser opens
// and runs scripts in; archives (.zip, .rar, .7z, .tar.gz, ...), whose
// handler lists or unpacks programs and desktop entries for the next
// double-click, and among which .jar, .deb and .rpm run or install. Any of
// these is still exported as it is.
const QSet<QString>& ShownTypes()
{
    static const QSet<QString> types{
        // Word, Excel, PowerPoint, their OpenDocument and WPS Office kin
        QStringLiteral(".doc"), QStringLiteral(".docx"), QStringLiteral(".xls"),
        QStringLiteral(".xlsx"), QStringLiteral(".ppt"), QStringLiteral(".pptx"),
        QStringLiteral(".pps"), QStringLiteral(".ppsx"), QStringLiteral(".rtf"),
        QStringLiteral(".odt"), QStringLiteral(".ods"), QStringLiteral(".odp"),
        QStringLiteral(".odg"), QStringLiteral(".wps"), QStringLiteral(".et"),
        QStringLiteral(".dps"),
        // fixed layout
        QStringLiteral(".pdf"), QStringLiteral(".ofd"), QStringLiteral(".xps"),
        // plain text
        QStringLiteral(".txt"), QStringLiteral(".csv"),
        // pictures
        QStringLiteral(".bmp"), QStringLiteral(".jpg"), QStringLiteral(".jpeg"),
        QStringLiteral(".png"), QStringLiteral(".gif"), QStringLiteral(".tif"),
        QStringLiteral(".tiff"), QStringLiteral(".ico"), QStringLiteral(".wmf"),
        QStringLiteral(".emf"), QStringLiteral(".webp")};
    return types;
}

// The first bytes of programs and of files that start them: ELF and
// Windows programs, Mach-O and Java classes, scripts, Windows shortcuts,
// Java archives (a zip whose first entry is META-INF/) and desktop entries.
bool StartsAsProgram(const QByteArray& head)
{
    const auto startsWith = [&head](const char* hex) {
        return head.startsWith(QByteArray::fromHex(hex));
    };
    if (startsWith("7f454c46") || startsWith("4d5a") || startsWith("cafebabe") ||
        startsWith("feedface") || startsWith("feedfacf") || startsWith("cefaedfe") ||
        startsWith("cffaedfe") || startsWith("2321") || startsWith("4c0000000114020000000000c0"))
        return true;
    if (startsWith("504b0304") && head.mid(30, 9) == QByteArrayLiteral("META-INF/"))
        return true;
    return head.contains(QByteArrayLiteral("[Desktop Entry]"));
}

Refusal NotOpened(const QString& storedName)
{
    return Refusal(QStringLiteral("不能直接打开文件 %1:这种文件可能含有程序,打开它可能会运行程序。"
                                  "如需查看,请点导出...把它保存到文件。")
                       .arg(VisibleName(storedName)));
}

} // namespace

void RequireDocumentType(const QString& copyName, const QString& storedName)
{
    if (!ShownTypes().contains(Attachments::DocumentExtension(copyName)))
        throw NotOpened(storedName);
}

void RequireNoProgram(const QByteArray& head, const QString& storedName)
{
    if (StartsAsProgram(head))
        throw NotOpened(storedName);
}

QString PictureCopyName(const QString& copyName, const QByteArray& head, const QString& storedName)
{
    const std::optional<pictures::Format> format = pictures::formatOfContent(head);
    if (!format)
        throw Refusal(QStringLiteral("不能打开图片 %1:它的内容不是能查看的图片(bmp、ico、wmf、emf、"
                                     "jpg)。如需查看,请用导出图片(E)...把它保存到文件。")
                          .arg(VisibleName(storedName)));
    const qsizetype dot = copyName.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? copyName.left(dot) : copyName;
    // Shortened again when the new extension is the longer one.
    return Attachments::TempFileName(stem + QLatin1Char('.') +
                                     pictures::extensions(*format).constFirst());
}

} // namespace Viewable
