#include "FileDialogs.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>

namespace {

constexpr QSize PreviewSize{200, 200};

FileDialogs::Chooser& chooser()
{
    static FileDialogs::Chooser instance;
    return instance;
}

// A frame right of the list that shows the picture of the current file, and
// nothing for a folder or a file that gives none.
void AddPreview(QFileDialog& dialog, const FileDialogs::Previewer& preview)
{
    auto* label = new QLabel(&dialog);
    label->setObjectName(QStringLiteral("PicturePreview"));
    label->setFrameShape(QFrame::StyledPanel);
    label->setAlignment(Qt::AlignCenter);
    label->setFixedSize(PreviewSize);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
        grid->addWidget(label, 0, grid->columnCount(), grid->rowCount(), 1);
    QObject::connect(&dialog, &QFileDialog::currentChanged, label,
                     [label, preview](const QString& path) {
                         const QImage image = preview(path, label->contentsRect().size());
                         if (image.isNull())
                             label->clear();
                         else
                             label->setPixmap(QPixmap::fromImage(image));
                     });
}

} // namespace

namespace FileDialogs {

QString Choose(QWidget* parent, const Request& request)
{
    if (chooser())
        return chooser()(request);
    // Neither dialog insists on an existing file or asks before replacing one:
    // the program reports a missing file when it reads it.
    QFileDialog dialog(parent, QString(), request.presetName, request.filter);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (request.preview) {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        AddPreview(dialog, request.preview);
    }
    if (request.kind == Kind::Save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

void setChooser(Chooser newChooser)
{
    chooser() = std::move(newChooser);
}

} // namespace FileDialogs
