// sonavik_screenshots <folder>: writes PNG images of the main window and the settings
// dialog in the five colour themes and three window sizes (main-<theme>-<size>.png,
// settings-<theme>-<size>.png). Run by `make screenshots` under Xvfb; the program's
// files go to a temporary home, so the user's settings are not touched.
#include "support/TempHome.h"

#include "forms.FormMain2.h"
#include "forms.FormSettings.h"
#include "sv.AppConfig.h"
#include "sv.DmStyles.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>

#include <cstdio>

namespace {

const char *const kThemes[] = {"system", "light", "dark", "light-hc", "dark-hc"};
const char *const kSizes[] = {"normal", "middle", "large"};

bool Save(QWidget *window, const QString &path) {
    if (!window->grab().save(path, "PNG")) {
        std::fprintf(stderr, "sonavik_screenshots: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    if (argc != 2 || !QDir().mkpath(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "usage: sonavik_screenshots <folder>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    TempHome home;
    TDmStyles styles;
    bool ok = true;
    for (int theme = 0; theme < 5; ++theme) {
        for (int size = 0; size < 3; ++size) {
            const QString name =
                QStringLiteral("%1-%2.png")
                    .arg(QLatin1String(kThemes[theme]), QLatin1String(kSizes[size]));
            WriteBytes(home.SettingsFile(), QStringLiteral("[VIEW]\nColorTheme=%1\nWinSize=%2\n")
                                                .arg(theme)
                                                .arg(size)
                                                .toUtf8());
            TFormMain2 window;
            ok = Save(&window, folder.filePath(QStringLiteral("main-") + name)) && ok;

            TFormSettings dialog(&window);
            TAppConfig config = window.Config();
            config.UseProxy = true;
            config.Proxy_hostname = QStringLiteral("proxy.example");
            config.Proxy_port = QStringLiteral("3128");
            config.Speed = 5;
            dialog.SetValuesToControls(config);
            ok = Save(&dialog, folder.filePath(QStringLiteral("settings-") + name)) && ok;
        }
    }
    return ok ? 0 : 1;
}
