// The settings record and its INI file: defaults, value rules, round trip, keeping
// what the program does not know, encodings, atomic owner-only saving and the
// folder rules.
#include "support/TempHome.h"

#include "sv.AppConfig.h"
#include "sv.Exceptions.h"
#include "sv.IniFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <csignal>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    TempHome Home;
    QString Folder = Home.Path() + QStringLiteral("/settings/");
    QString Temp = Home.Path() + QStringLiteral("/sounds/");
    QString File = Folder + QStringLiteral("svkconfig.ini");

    TAppConfig LoadFrom(const QByteArray &content) {
        WriteBytes(File, content);
        return TAppConfig::LoadSettings(Folder, Temp);
    }
};

TEST_F(SettingsTest, MissingFileAndFoldersGiveDefaultsAndCreateOnlyTheFolders) {
    const TAppConfig config = TAppConfig::LoadSettings(Folder, Temp);

    EXPECT_TRUE(QFileInfo(Folder).isDir());
    EXPECT_TRUE(QFileInfo(Temp).isDir());
    EXPECT_FALSE(QFile::exists(File));
    TAppConfig expected;
    expected.Speed = 5;
    expected.SettingsPath = Folder;
    expected.TempFilePath = Temp;
    EXPECT_EQ(config, expected);
    EXPECT_EQ(config.SoundPitch, 2);
    EXPECT_EQ(config.SoundVolume, 20);
}

struct ValueCase {
    const char *Line;
    std::function<QVariant(const TAppConfig &)> Field;
    QVariant Expected;
};

TEST_F(SettingsTest, ValueRules) {
    const auto useProxy = [](const TAppConfig &c) { return QVariant(c.UseProxy); };
    const auto speed = [](const TAppConfig &c) { return QVariant(c.Speed); };
    const auto pass = [](const TAppConfig &c) { return QVariant(c.Proxy_Userpass); };
    const auto x = [](const TAppConfig &c) { return QVariant(c.MainFormX); };
    const std::vector<ValueCase> cases = {
        {"UseProxy=true", useProxy, false}, // not a number: the default
        {"UseProxy=2", useProxy, true},
        {"UseProxy=0", useProxy, false},
        {"UseProxy=", useProxy, false},
        {"Speed=0x0A", speed, 10},
        {"Speed=0X0a", speed, 10},
        {"Speed=$0A", speed, 10},
        {"Speed=0x", speed, 5},
        {"Speed=junk", speed, 5},
        {"Speed=7junk", speed, 5},
        {"Speed=", speed, 5},
        {"Speed=  8  ", speed, 8},
        {"Speed=99999999999", speed, 5}, // beyond 32 bits
        {"MainFormX=-1200", x, -1200},
        {"ProxyPass=a=b;c", pass, QStringLiteral("a=b;c")},
        {"ProxyPass=   padded   ", pass, QStringLiteral("padded")},
        {"ProxyPass=\"quoted\"", pass, QStringLiteral("quoted")},
        {"ProxyPass='single'", pass, QStringLiteral("single")},
        {"ProxyPass=\"unbalanced", pass, QStringLiteral("\"unbalanced")},
        {"ProxyPass=\" keep inner \"", pass, QStringLiteral(" keep inner ")},
        {"proxypass=any case", pass, QStringLiteral("any case")},
        {"  ProxyPass  =spaced key", pass, QStringLiteral("spaced key")},
    };
    for (const ValueCase &c : cases) {
        SCOPED_TRACE(c.Line);
        const TAppConfig config = LoadFrom(QByteArray("[settings]\n") + c.Line + "\n");
        EXPECT_EQ(c.Field(config), c.Expected);
    }
}

TEST_F(SettingsTest, LongTextIsCutAt2047Characters) {
    const TAppConfig config = LoadFrom("[SETTINGS]\nProxyUser=" + QByteArray(3000, 'u') + "\n");
    EXPECT_EQ(config.Proxy_User, QString(2047, u'u'));
}

TEST_F(SettingsTest, OutOfRangeNumbersLoadUnchanged) {
    const TAppConfig config = LoadFrom("[SETTINGS]\nVolume=50\n[VIEW]\nWinSize=7\nColorTheme=-3\n");
    EXPECT_EQ(config.SoundVolume, 50);
    EXPECT_EQ(config.WindowSize, 7);
    EXPECT_EQ(config.ColorTheme, -3);
}

TEST_F(SettingsTest, FileWrittenOnWindowsInTheAnsiCodePageIsReadAsWindows1252) {
    const TAppConfig config = LoadFrom("[SETTINGS]\r\nProxyPass=bl\xE5" "b\xE6r\x80\r\nProxyUser=s\xF8ren\r\n");
    EXPECT_EQ(config.Proxy_Userpass, QStringLiteral("blåbær€"));
    EXPECT_EQ(config.Proxy_User, QStringLiteral("søren"));
}

TEST_F(SettingsTest, Utf8FileIsReadAsUtf8) {
    const TAppConfig config = LoadFrom("\xEF\xBB\xBF[SETTINGS]\nProxyPass=bl\xC3\xA5" "b\xC3\xA6r\n");
    EXPECT_EQ(config.Proxy_Userpass, QStringLiteral("blåbær"));
}

TAppConfig EveryFieldSet(const QString &folder, const QString &temp) {
    TAppConfig config;
    config.UseProxy = true;
    config.Proxy_hostname = QStringLiteral("proxy.example");
    config.Proxy_port = QStringLiteral("$1F90");
    config.Use_User = true;
    config.Proxy_User = QStringLiteral("søren");
    config.Proxy_Userpass = QStringLiteral("p=æ;ss");
    config.MainFormX = -17;
    config.MainFormY = 1234;
    config.AppUid = QStringLiteral("{0F8FAD5B-D9CB-469F-A165-70867728950E}");
    config.SettingsPath = folder;
    config.TempFilePath = temp;
    config.Speed = 9;
    config.SoundVolume = 13;
    config.SoundPitch = 3;
    config.ColorTheme = 4;
    config.WindowSize = 2;
    return config;
}

TEST_F(SettingsTest, SavedFileHoldsTwoSectionsAndFourteenKeysAndLoadsBackTheSame) {
    TAppConfig::LoadSettings(Folder, Temp);
    const TAppConfig saved = EveryFieldSet(Folder, Temp);
    TAppConfig::SaveSettings(saved);

    EXPECT_EQ(ReadBytes(File), QStringLiteral("[SETTINGS]\n"
                                              "AppIdent={0F8FAD5B-D9CB-469F-A165-70867728950E}\n"
                                              "UseProxy=1\n"
                                              "ProxyHost=proxy.example\n"
                                              "ProxyPort=$1F90\n"
                                              "UseUser=1\n"
                                              "ProxyUser=søren\n"
                                              "ProxyPass=p=æ;ss\n"
                                              "MainFormX=-17\n"
                                              "MainFormY=1234\n"
                                              "Speed=9\n"
                                              "Pitch=3\n"
                                              "Volume=13\n"
                                              "[VIEW]\n"
                                              "ColorTheme=4\n"
                                              "WinSize=2\n")
                                   .toUtf8());
    EXPECT_EQ(TAppConfig::LoadSettings(Folder, Temp), saved);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(File).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u); // it holds the proxy password
}

TEST_F(SettingsTest, SaveKeepsWhatTheProgramDoesNotKnowAndReplacesKeysInAnyCase) {
    WriteBytes(File, "; written by hand\r\n"
                     "[Other]\r\n"
                     "Keep=this\r\n"
                     "\r\n"
                     "[settings]\r\n"
                     "speed=3\r\n"
                     "Unknown=stays\r\n"
                     "\r\n");
    TAppConfig config = TAppConfig::LoadSettings(Folder, Temp);
    EXPECT_EQ(config.Speed, 3);
    config.Speed = 8;
    TAppConfig::SaveSettings(config);

    const QString text = QString::fromUtf8(ReadBytes(File));
    EXPECT_TRUE(text.startsWith(QStringLiteral("; written by hand\r\n[Other]\r\nKeep=this\r\n\r\n"
                                               "[settings]\r\nSpeed=8\r\nUnknown=stays\r\n")))
        << qPrintable(text);
    EXPECT_EQ(text.count(QStringLiteral("Speed="), Qt::CaseInsensitive), 1);
    EXPECT_EQ(text.count(QStringLiteral("[SETTINGS]"), Qt::CaseInsensitive), 1);
    EXPECT_EQ(TAppConfig::LoadSettings(Folder, Temp), config);
}

TEST_F(SettingsTest, LineBreaksInAValueCannotAddKeys) {
    TAppConfig config = TAppConfig::LoadSettings(Folder, Temp);
    config.AppUid = QStringLiteral("id\r\nUseProxy=1");
    TAppConfig::SaveSettings(config);
    const TAppConfig loaded = TAppConfig::LoadSettings(Folder, Temp);
    EXPECT_FALSE(loaded.UseProxy);
    EXPECT_EQ(loaded.AppUid, QStringLiteral("id  UseProxy=1"));
}

TEST_F(SettingsTest, FailedSaveRaisesTheMessageAndLeavesTheOldFileWhole) {
    TAppConfig config = TAppConfig::LoadSettings(Folder, Temp);
    TAppConfig::SaveSettings(config);
    const QByteArray before = ReadBytes(File);

    // Root ignores permissions, so make writing fail through a file-size limit.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit oldLimit{};
    getrlimit(RLIMIT_FSIZE, &oldLimit);
    rlimit tiny = oldLimit;
    tiny.rlim_cur = 16;
    setrlimit(RLIMIT_FSIZE, &tiny);
    config.Proxy_hostname = QStringLiteral("a-much-longer-host-name.example");
    QString message;
    try {
        TAppConfig::SaveSettings(config);
    } catch (const Exception &error) {
        message = error.Message();
    }
    setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(message, QStringLiteral("Unable to write to ") + File);
    EXPECT_EQ(ReadBytes(File), before);
    EXPECT_EQ(QDir(Folder).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("svkconfig.ini")});
}

TEST_F(SettingsTest, SaveIntoAFolderThatIsGoneRaisesTheMessage) {
    TAppConfig config = TAppConfig::LoadSettings(Folder, Temp);
    config.SettingsPath = Home.Path() + QStringLiteral("/missing/");
    try {
        TAppConfig::SaveSettings(config);
        FAIL() << "no error";
    } catch (const Exception &error) {
        EXPECT_EQ(error.Message(),
                  QStringLiteral("Unable to write to ") + config.SettingsPath + "svkconfig.ini");
    }
}

TEST_F(SettingsTest, RefusedFolderPathsRaiseAndCreateNothing) {
    const struct {
        QString Path;
        const char *Message;
    } cases[] = {
        {QString(), "Invalid characters in path"},
        {QStringLiteral("   "), "Invalid characters in path"},
        {Home.Path() + QStringLiteral("/a") + QChar(u'\0') + QStringLiteral("b/"),
         "Invalid characters in path"},
        {Home.Path() + u'/' + QString(5000, u'x') + u'/', "The specified path is too long"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Message);
        try {
            TAppConfig::LoadSettings(c.Path, Temp);
            ADD_FAILURE() << "no error";
        } catch (const Exception &error) {
            EXPECT_EQ(error.Message(), QString::fromLatin1(c.Message));
        }
        EXPECT_FALSE(QFileInfo(Temp).exists()); // nothing created, nothing read
    }
}

TEST(IniNumbers, ParseInteger) {
    const struct {
        const char *Text;
        std::optional<qint32> Value;
    } cases[] = {
        {"0", 0},           {"-5", -5},      {"+5", 5},          {"$7fffFFFF", 2147483647},
        {"-2147483648", std::numeric_limits<qint32>::min()}, {"2147483648", std::nullopt},
        {"0x", std::nullopt}, {"$", std::nullopt}, {"0xg", std::nullopt}, {"1 2", std::nullopt},
        {"", std::nullopt},   {"-", std::nullopt}, {"0x-1", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(TIniFile::ParseInteger(QString::fromLatin1(c.Text)), c.Value);
    }
}

} // namespace
