#include "support/SoundFiles.h"

#include "support/TempHome.h"

#include <QProcess>
#include <QStringList>

#include <stdexcept>

namespace {

void Run(const QString &program, const QStringList &arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0) {
        throw std::runtime_error(QStringLiteral("%1 failed: %2")
                                     .arg(program, QString::fromLocal8Bit(process.readAll()))
                                     .toStdString());
    }
}

} // namespace

SoundFiles::SoundFiles() {
    if (!FDir.isValid()) {
        throw std::runtime_error("cannot create a folder for sound files");
    }
}

QString SoundFiles::Tone(const QString &name, double seconds, int frequency, double peak) {
    Run(QStringLiteral("sox"),
        {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("22050"), QStringLiteral("-c"),
         QStringLiteral("1"), QStringLiteral("-b"), QStringLiteral("16"), Wav(name),
         QStringLiteral("synth"), QString::number(seconds), QStringLiteral("sine"),
         QString::number(frequency), QStringLiteral("vol"), QString::number(peak)});
    return encode(name);
}

QString SoundFiles::Speech(const QString &name, const QString &text) {
    Run(QStringLiteral("espeak-ng"), {QStringLiteral("-w"), Wav(name) + ".orig", text});
    Run(QStringLiteral("sox"),
        {Wav(name) + ".orig", QStringLiteral("-r"), QStringLiteral("22050"), QStringLiteral("-c"),
         QStringLiteral("1"), QStringLiteral("-b"), QStringLiteral("16"), Wav(name)});
    return encode(name);
}

QString SoundFiles::encode(const QString &name) {
    Run(QStringLiteral("lame"), {QStringLiteral("--quiet"), QStringLiteral("-b"),
                                 QStringLiteral("64"), Wav(name), Path(name)});
    return Path(name);
}

QString SoundFiles::Raw(const QString &name, const QByteArray &bytes) {
    WriteBytes(Path(name), bytes);
    return Path(name);
}

QString SoundFiles::CutShort(const QString &name, const QString &from, double fraction) {
    const QByteArray bytes = ReadBytes(from);
    return Raw(name,
               bytes.left(static_cast<qsizetype>(static_cast<double>(bytes.size()) * fraction)));
}
