#pragma once

#include <QCoreApplication>
#include <QString>

// The application title: the taskbar caption, the error report's title and
// the title the settings dialog offers. It is kept as the application name,
// not the display name, which the desktop would append to every window's
// caption.
inline QString ApplicationTitle()
{
    return QCoreApplication::applicationName();
}

inline void SetApplicationTitle(const QString& title)
{
    QCoreApplication::setApplicationName(title);
}
