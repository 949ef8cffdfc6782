#pragma once

#include "platform/pictures/Picture.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class QWidget;

// Pictures from outside are decoded by a short-lived copy of the program in a
// helper mode, confined by limits of memory and time: a file that crashes a
// decoder, or makes it take all memory or run for ever, costs that copy only,
// never the operator's unsaved rows.
namespace PictureHelper {

// The program was started as the helper (an internal command line, never
// the operators').
bool isHelperCall(int argc, char** argv);
// The helper's whole run: reads the file from stdin, answers on stdout.
int serve(int argc, char** argv);

// The thumbnail of a picture file as a BMP file image; Refusal with the
// operator's message when it does not decode, nothing when the operator
// cancelled. A progress dialog over `parent` offers Cancel while it takes long.
std::optional<QByteArray> thumbnail(QWidget* parent, const QString& fileName,
                                    pictures::Format format, const QByteArray& bytes);

// A stored thumbnail for the strip: the program's own plain BMP is read at
// once, any other BMP by the helper. A null image for no bytes; Refusal when
// they do not decode; nothing when the operator cancelled.
std::optional<QImage> storedThumbnail(QWidget* parent, const QByteArray& bytes);

// Starts decoding a picture for a preview, at most `size` large (within a cap),
// without waiting, and hands `show` the picture, or a null image when the
// helper refuses it, crashes, hits a limit or runs out of time. Deleting the
// returned object abandons the decoding: `show` is then never called.
std::unique_ptr<QObject> preview(pictures::Format format, const QByteArray& bytes, QSize size,
                                 std::function<void(const QImage&)> show);

} // namespace PictureHelper
