#include "sv.DmStyles.h"

#include "sv.Exceptions.h"

#include <QFile>

TDmStyles *DmStyles = nullptr;

namespace {

QString ReadBook(const char *name) {
    QFile file(QStringLiteral(":/styles/%1.qss").arg(QLatin1String(name)));
    if (!file.open(QIODevice::ReadOnly)) {
        throw Exception(QStringLiteral("Style book %1 is missing").arg(QLatin1String(name)));
    }
    return QString::fromUtf8(file.readAll());
}

} // namespace

// The style sheets live in the desktop library's resources (styles.qrc); a static
// library's resources are registered explicitly.
static void InitStyleResources() {
    Q_INIT_RESOURCE(styles);
}

TDmStyles::TDmStyles(QObject *parent) : QObject(parent) {
    InitStyleResources();
    sbLight = ReadBook("sbLight");
    sbLightMedium = ReadBook("sbLightMedium");
    sbLightLarge = ReadBook("sbLightLarge");
    sbDark = ReadBook("sbDark");
    sbDarkMedium = ReadBook("sbDarkMedium");
    sbDarkLarge = ReadBook("sbDarkLarge");
    sbLightHC = ReadBook("sbLightHC");
    sbLightMediumHC = ReadBook("sbLightMediumHC");
    sbLightLargeHC = ReadBook("sbLightLargeHC");
    sbDarkHC = ReadBook("sbDarkHC");
    sbDarkMediumHC = ReadBook("sbDarkMediumHC");
    sbDarkLargeHC = ReadBook("sbDarkLargeHC");
    DataModuleCreate();
    DmStyles = this;
}

TDmStyles::~TDmStyles() {
    if (DmStyles == this) {
        DmStyles = nullptr;
    }
}

QString TDmStyles::GetStyleBook(int colorTheme, int windowSize) const {
    const QString *books[4][3] = {
        {&sbLight, &sbLightMedium, &sbLightLarge},
        {&sbDark, &sbDarkMedium, &sbDarkLarge},
        {&sbLightHC, &sbLightMediumHC, &sbLightLargeHC},
        {&sbDarkHC, &sbDarkMediumHC, &sbDarkLargeHC},
    };
    if (colorTheme < 1 || colorTheme > 4) {
        return {};
    }
    const int size = windowSize == 1 || windowSize == 2 ? windowSize : 0;
    return *books[colorTheme - 1][size];
}
