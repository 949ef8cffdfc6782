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
// nothing for a folder or a file that gives none. While a picture is being
// made the frame is empty and its "decoding" property true; a newer
// selection, or closing the dialog, abandons it.
class PreviewFrame final : public QLabel
{
public:
    PreviewFrame(QFileDialog& dialog, FileDialogs::Previewer preview)
        : QLabel(&dialog), m_preview(std::move(preview))
    {
        setObjectName(QStringLiteral("PicturePreview"));
        setFrameShape(QFrame::StyledPanel);
        setAlignment(Qt::AlignCenter);
        setFixedSize(PreviewSize);
        setProperty(DecodingProperty, false);
        connect(&dialog, &QFileDialog::currentChanged, this, &PreviewFrame::select);
    }

private:
    static constexpr char DecodingProperty[] = "decoding";

    void select(const QString& path)
    {
        m_pending.reset();
        clear();
        setProperty(DecodingProperty, true);
        m_pending = m_preview(path, contentsRect().size(), [this](const QImage& image) {
            setProperty(DecodingProperty, false);
            if (!image.isNull())
                setPixmap(QPixmap::fromImage(image));
        });
    }

    FileDialogs::Previewer m_preview;
    std::unique_ptr<QObject> m_pending;
};

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
        auto* preview = new PreviewFrame(dialog, request.preview);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
            grid->addWidget(preview, 0, grid->columnCount(), grid->rowCount(), 1);
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
