#include "support/SelectionOwners.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

TSelectionOwners::~TSelectionOwners() {
    for (auto &owner : FOwners) {
        owner->kill();
        owner->waitForFinished(5000);
    }
}

bool TSelectionOwners::Own(const char *selection, const char *type, const QByteArray &content) {
    auto owner = std::make_unique<QProcess>();
    owner->setProcessChannelMode(QProcess::MergedChannels);
    owner->start(QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                                           QString::fromLatin1(selection), QStringLiteral("-t"),
                                           QString::fromLatin1(type), QStringLiteral("-i")});
    if (!owner->waitForStarted(10000)) {
        return false;
    }
    owner->write(content);
    owner->waitForBytesWritten(10000); // no event loop runs here to write it later
    owner->closeWriteChannel();
    // xclip says it waits for requests once it owns the selection.
    QByteArray said;
    while (!said.contains("Waiting for selection requests") && owner->waitForReadyRead(10000)) {
        said += owner->readAll();
    }
    FOwners.push_back(std::move(owner));
    // Let Qt see the owner change, as the program's event loop does between captures.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return said.contains("Waiting for selection requests");
}
