#include "sv.Utils.h"

#include "sv.PathRules.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

void ForceFolder(const QString &path) {
    CheckFolderPath(path);
    if (QFileInfo(path).isDir()) { // follows links
        return;
    }
    QDir().mkpath(path);
}
