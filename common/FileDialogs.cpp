#include "FileDialogs.h"

#include <QFileDialog>

namespace {
FileDialogs::Chooser& chooser()
{
    static FileDialogs::Chooser instance;
    return instance;
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
