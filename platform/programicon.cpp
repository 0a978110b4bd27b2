// The program's icon on its windows and the name under which the desktop knows it.
#include "platform/programicon.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

bool SetProgramIcon(const std::string &programName) {
    const QString name = QString::fromStdString(programName);
    QIcon icon;
    // Every size drawn for its own size, so that a 16-pixel title bar gets the bold small drawing.
    for (const QString &file : QDir(QStringLiteral(":/icons/") + name).entryList({QStringLiteral("*.png")}))
        icon.addFile(QStringLiteral(":/icons/%1/%2").arg(name, file));
    QGuiApplication::setDesktopFileName(name);
    if (icon.isNull()) return false;
    QApplication::setWindowIcon(icon);
    return true;
}
