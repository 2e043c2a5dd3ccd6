// sv.IniFile: a portable INI profile file with the rules of the Windows profile-file
// service: section and key names matched without regard to letter case, spaces
// around a value dropped and one pair of enclosing quotation marks removed when
// read, at most 2047 characters read; integers read as decimal, "0x" or "$"
// hexadecimal; booleans as integers (any value but 0 is true). Lines the program
// does not know (other keys, sections, comments) are kept on save.
// The file is read whole when the object is made (a missing file reads as empty and
// creates nothing) and written whole by UpdateFile, atomically and owner-only.
// UTF-8; a file that is not valid UTF-8 is read as Windows-1252.
// Not shared between threads.
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class TIniFile final {
public:
    explicit TIniFile(QString fileName);

    [[nodiscard]] const QString &FileName() const { return FFileName; }

    [[nodiscard]] QString ReadString(const QString &section, const QString &key,
                                     const QString &defaultValue) const;
    [[nodiscard]] qint32 ReadInteger(const QString &section, const QString &key,
                                     qint32 defaultValue) const;
    [[nodiscard]] bool ReadBool(const QString &section, const QString &key,
                                bool defaultValue) const;

    void WriteString(const QString &section, const QString &key, const QString &value);
    void WriteInteger(const QString &section, const QString &key, qint32 value);
    void WriteBool(const QString &section, const QString &key, bool value);

    // Writes the whole file. Raises "Unable to write to <file>" on failure; the old
    // file is then left as it was.
    void UpdateFile() const;

    // The number rule of ReadInteger: optional sign, then decimal digits, or "$" or
    // "0x" / "0X" and at least one hexadecimal digit; within the 32-bit range.
    [[nodiscard]] static std::optional<qint32> ParseInteger(const QString &text);

private:
    struct Location {
        qsizetype SectionLine = -1; // index of the section header, -1 when missing
        qsizetype KeyLine = -1;     // index of the key's line, -1 when missing
        qsizetype InsertAt = -1;    // where a new key of the section goes
    };
    [[nodiscard]] Location Find(const QString &section, const QString &key) const;

    QString FFileName;
    QStringList FLines;
    QString FLineEnd = QStringLiteral("\n");
};
