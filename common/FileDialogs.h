#pragma once

#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

// The file dialogs of the main window. Tests put a chooser in place of the
// real dialogs: it gets what the dialog would show and gives the chosen path,
// or an empty text for a cancel.
namespace FileDialogs {

enum class Kind
{
    Open,
    Save
};

// Starts making the picture of a file, at most `size` large, for the dialog's
// preview, and hands it to `show` when made, at once or later: a null image
// for a file that shows nothing. Deleting the returned object, if any,
// abandons the making, and `show` is then never called.
using Previewer = std::function<std::unique_ptr<QObject>(const QString& path, QSize size,
                                                         std::function<void(const QImage&)> show)>;

struct Request
{
    Kind kind = Kind::Open;
    QString presetName; // the file name the dialog starts with
    QString filter;     // Qt name filter; empty for all files
    // When given, the dialog is Qt's own, the same on every desktop, with a
    // preview of the selected file beside the list.
    Previewer preview;
};

// The chosen path, or an empty text when the operator cancels.
QString Choose(QWidget* parent, const Request& request);

using Chooser = std::function<QString(const Request&)>;
void setChooser(Chooser chooser); // an empty function restores the real dialogs

} // namespace FileDialogs
