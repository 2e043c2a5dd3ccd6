#include "sv.IntegerText.h"

#include <QString>

#include <limits>

namespace {

std::optional<qint64> ParseDigits(QStringView digits, int base) {
    if (digits.isEmpty()) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (const QChar ch : digits) {
        const int digit = ch.isDigit() ? ch.unicode() - u'0'
                          : (base == 16 && ch.toLower() >= u'a' && ch.toLower() <= u'f')
                              ? ch.toLower().unicode() - u'a' + 10
                              : -1;
        if (digit < 0 || digit >= base) {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > (qint64{1} << 32)) {
            return std::nullopt;
        }
    }
    return value;
}

} // namespace

std::optional<qint32> ParseInt32(QStringView text, bool bareXPrefix) {
    bool negative = false;
    if (text.startsWith(u'-') || text.startsWith(u'+')) {
        negative = text.front() == u'-';
        text = text.mid(1);
    }
    std::optional<qint64> magnitude;
    if (text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)) {
        magnitude = ParseDigits(text.mid(2), 16);
    } else if (text.startsWith(u'$') ||
               (bareXPrefix && (text.startsWith(u'x') || text.startsWith(u'X')))) {
        magnitude = ParseDigits(text.mid(1), 16);
    } else {
        magnitude = ParseDigits(text, 10);
    }
    if (!magnitude) {
        return std::nullopt;
    }
    const qint64 value = negative ? -*magnitude : *magnitude;
    if (value < std::numeric_limits<qint32>::min() || value > std::numeric_limits<qint32>::max()) {
        return std::nullopt;
    }
    return static_cast<qint32>(value);
}
