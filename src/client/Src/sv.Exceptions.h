// sv.Exceptions: the one base class of the program's errors. Every failure is an
// exception that carries a message text (UTF-16, like all program text).
#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

class Exception : public std::exception {
public:
    explicit Exception(QString message);

    [[nodiscard]] const QString &Message() const noexcept { return FMessage; }
    [[nodiscard]] const char *what() const noexcept override { return FUtf8.constData(); }

private:
    QString FMessage;
    QByteArray FUtf8;
};
