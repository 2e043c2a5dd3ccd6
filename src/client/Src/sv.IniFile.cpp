#include "sv.IniFile.h"

#include "sv.Cp1252.h"
#include "sv.Exceptions.h"
#include "sv.IntegerText.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

#include <utility>

namespace {

constexpr qsizetype kMaxValueLength = 2047;

QString DecodeFileText(QByteArray bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes.remove(0, 3);
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? Cp1252::Decode(bytes) : text;
}

bool IsSectionHeader(const QString &line, QString *name) {
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(u'[')) {
        return false;
    }
    const qsizetype close = trimmed.indexOf(u']');
    *name = trimmed.mid(1, close < 0 ? -1 : close - 1).trimmed();
    return true;
}

bool IsKeyLine(const QString &line, const QString &key, QString *value) {
    const qsizetype equals = line.indexOf(u'=');
    if (equals < 0 || line.trimmed().startsWith(u';')) {
        return false;
    }
    if (line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) != 0) {
        return false;
    }
    if (value != nullptr) {
        *value = line.mid(equals + 1);
    }
    return true;
}

QString CleanValue(QString value) {
    value = value.trimmed();
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front()) {
        value = value.mid(1, value.size() - 2);
    }
    return value.left(kMaxValueLength);
}

// A value runs to the end of its line: line breaks inside it would make new lines
// (and new keys) in the file, so they are written as spaces.
QString OneLine(QString value) {
    for (QChar &ch : value) {
        if (ch == u'\r' || ch == u'\n' || ch == u'\0') {
            ch = u' ';
        }
    }
    return value;
}

} // namespace

TIniFile::TIniFile(QString fileName) : FFileName(std::move(fileName)) {
    QFile file(FFileName);
    if (!file.open(QIODevice::ReadOnly)) {
        return;
    }
    const QString text = DecodeFileText(file.readAll());
    if (text.contains(QStringLiteral("\r\n"))) {
        FLineEnd = QStringLiteral("\r\n");
    }
    FLines = text.split(u'\n');
    for (QString &line : FLines) {
        if (line.endsWith(u'\r')) {
            line.chop(1);
        }
    }
    if (!FLines.isEmpty() && FLines.back().isEmpty()) {
        FLines.removeLast();
    }
}

TIniFile::Location TIniFile::Find(const QString &section, const QString &key) const {
    Location found;
    QString name;
    for (qsizetype i = 0; i < FLines.size(); ++i) {
        const QString &line = FLines[i];
        if (IsSectionHeader(line, &name)) {
            if (found.SectionLine >= 0) {
                break; // end of the wanted section
            }
            if (name.compare(section, Qt::CaseInsensitive) == 0) {
                found.SectionLine = i;
                found.InsertAt = i + 1;
            }
            continue;
        }
        if (found.SectionLine < 0) {
            continue;
        }
        if (!line.trimmed().isEmpty()) {
            found.InsertAt = i + 1;
        }
        if (IsKeyLine(line, key, nullptr)) {
            found.KeyLine = i;
            break;
        }
    }
    return found;
}

QString TIniFile::ReadString(const QString &section, const QString &key,
                             const QString &defaultValue) const {
    const Location at = Find(section, key);
    QString value;
    if (at.KeyLine < 0 || !IsKeyLine(FLines[at.KeyLine], key, &value)) {
        return defaultValue;
    }
    return CleanValue(value);
}

qint32 TIniFile::ReadInteger(const QString &section, const QString &key,
                             qint32 defaultValue) const {
    return ParseInteger(ReadString(section, key, QString())).value_or(defaultValue);
}

bool TIniFile::ReadBool(const QString &section, const QString &key, bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void TIniFile::WriteString(const QString &section, const QString &key, const QString &value) {
    const QString line = key + u'=' + OneLine(value);
    const Location at = Find(section, key);
    if (at.KeyLine >= 0) {
        FLines[at.KeyLine] = line;
    } else if (at.SectionLine >= 0) {
        FLines.insert(at.InsertAt, line);
    } else {
        FLines.append(u'[' + section + u']');
        FLines.append(line);
    }
}

void TIniFile::WriteInteger(const QString &section, const QString &key, qint32 value) {
    WriteString(section, key, QString::number(value));
}

void TIniFile::WriteBool(const QString &section, const QString &key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TIniFile::UpdateFile() const {
    QString text;
    for (const QString &line : FLines) {
        text += line + FLineEnd;
    }
    const QByteArray bytes = text.toUtf8();
    // The new content goes to a temporary file that replaces the old one only when it
    // has been written whole (QSaveFile's commit alone misses a failed final flush).
    QSaveFile file(FFileName);
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.write(bytes) == bytes.size() && file.flush() &&
                         file.error() == QFileDevice::NoError && file.commit();
    if (!written) {
        throw Exception(QStringLiteral("Unable to write to %1").arg(FFileName));
    }
}

std::optional<qint32> TIniFile::ParseInteger(const QString &text) {
    return ParseInt32(text);
}
