#include "http/HttpStream.h"

#include "http/HttpSocket.h"

qint64 TPlainStream::Read(char *data, qint64 capacity) {
    return FSocket.Receive(data, capacity);
}

void TPlainStream::Write(const char *data, qint64 size) {
    FSocket.SendAll(data, size);
}
