// Linux path rules: a path is a byte string without NUL of at most PATH_MAX bytes.
#include "sv.PathRules.h"

#include "sv.Exceptions.h"

#include <QFile>
#include <QString>

#include <climits>

void CheckFolderPath(const QString &path) {
    if (path.trimmed().isEmpty() || path.contains(QChar(u'\0'))) {
        throw Exception(QStringLiteral("Invalid characters in path"));
    }
    if (QFile::encodeName(path).size() >= PATH_MAX) {
        throw Exception(QStringLiteral("The specified path is too long"));
    }
}
