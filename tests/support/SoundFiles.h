// SoundFiles: MP3 files for the player's tests and benchmark, made at run time in a
// temporary folder: sine tones (sox) and speech (espeak-ng), each encoded by lame
// from a 22050 Hz mono WAV that is kept beside it, plus broken files. Main thread.
#pragma once

#include <QString>
#include <QTemporaryDir>

class SoundFiles {
public:
    SoundFiles();

    // A sine tone of the given length, frequency and peak (0..1); returns the MP3's path.
    QString Tone(const QString &name, double seconds, int frequency, double peak);
    // Speech read by espeak-ng; returns the MP3's path.
    QString Speech(const QString &name, const QString &text);
    // A file with the given bytes.
    QString Raw(const QString &name, const QByteArray &bytes);
    // The first part of an existing file.
    QString CutShort(const QString &name, const QString &from, double fraction);

    [[nodiscard]] QString Path(const QString &name) const { return FDir.filePath(name); }
    // The WAV an MP3 of the given name was made from.
    [[nodiscard]] QString Wav(const QString &name) const { return FDir.filePath(name + ".wav"); }

private:
    QString encode(const QString &name);

    QTemporaryDir FDir;
};
