#include "sv.GetText.h"

#include "sv.Exceptions.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include <algorithm>

namespace {

enum class ClipContent { Nothing, Text, ImageOnly };

// Qt maps only some platforms' image formats to its own image type; an offered
// "image/..." format counts as well.
bool OffersImage(const QMimeData &data) {
    if (data.hasImage()) {
        return true;
    }
    const QStringList formats = data.formats();
    return std::any_of(formats.begin(), formats.end(), [](const QString &format) {
        return format.startsWith(QStringLiteral("image/"));
    });
}

ClipContent ContentOf(QClipboard::Mode mode, QString *text) {
    const QMimeData *data = QGuiApplication::clipboard()->mimeData(mode);
    if (data == nullptr) {
        return ClipContent::Nothing;
    }
    if (data->hasText()) {
        *text = data->text();
        const qsizetype zero = text->indexOf(QChar(u'\0'));
        if (zero >= 0) {
            text->truncate(zero); // text ends at its first zero character
        }
        return ClipContent::Text;
    }
    return OffersImage(*data) ? ClipContent::ImageOnly : ClipContent::Nothing;
}

} // namespace

QString ReadSelectionThenClipboard() {
    QClipboard *clipboard = QGuiApplication::clipboard();
    QString text;
    if (clipboard->supportsSelection() &&
        ContentOf(QClipboard::Selection, &text) == ClipContent::Text && !text.isEmpty()) {
        return text;
    }
    text.clear();
    switch (ContentOf(QClipboard::Clipboard, &text)) {
    case ClipContent::Text:
        return text;
    case ClipContent::ImageOnly:
        throw Exception(
            QStringLiteral("Invalid clipboard format: the clipboard holds an image, not text"));
    case ClipContent::Nothing:
        break;
    }
    return {};
}
