#include "SettingsStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

#include "FifoRescue.h"

namespace zelvar {
namespace {

// QSettings works out the user's configuration folder once per process, so
// the whole test binary runs with $XDG_CONFIG_HOME in a scratch folder; no
// test may reach the real store.
class ConfigHomeEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        dir_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(dir_->isValid());
        ::setenv("XDG_CONFIG_HOME", QFile::encodeName(dir_->path()).constData(), 1);
    }
    void TearDown() override { dir_.reset(); }
    static QString path() { return QString::fromLocal8Bit(std::getenv("XDG_CONFIG_HOME")); }

private:
    std::unique_ptr<QTemporaryDir> dir_;
};

[[maybe_unused]] ::testing::Environment* const configHome =
    ::testing::AddGlobalTestEnvironment(new ConfigHomeEnvironment);

void expectSame(const Settings& a, const Settings& b) {
    EXPECT_EQ(a.IP, b.IP);
    EXPECT_EQ(a.Port, b.Port);
    EXPECT_EQ(a.typeFlags, b.typeFlags);
    EXPECT_EQ(a.IDFilter, b.IDFilter);
    EXPECT_EQ(a.AutoSave, b.AutoSave);
    EXPECT_EQ(a.HexLog, b.HexLog);
    EXPECT_EQ(a.Editor, b.Editor);
    EXPECT_EQ(a.mwMaximized, b.mwMaximized);
    EXPECT_EQ(a.fWidth, b.fWidth);
    EXPECT_EQ(a.fHeight, b.fHeight);
    EXPECT_EQ(a.fTop, b.fTop);
    EXPECT_EQ(a.fLeft, b.fLeft);
    EXPECT_EQ(a.mHeight, b.mHeight);
    EXPECT_EQ(a.ewMaximized, b.ewMaximized);
    EXPECT_EQ(a.eWidth, b.eWidth);
    EXPECT_EQ(a.eHeight, b.eHeight);
    EXPECT_EQ(a.eTop, b.eTop);
    EXPECT_EQ(a.eLeft, b.eLeft);
    EXPECT_EQ(a.NewFileEvery65535, b.NewFileEvery65535);
    EXPECT_EQ(a.PType, b.PType);
    EXPECT_EQ(a.PByte, b.PByte);
    EXPECT_EQ(a.RSSICorrection, b.RSSICorrection);
    EXPECT_EQ(a.MaxRSSI, b.MaxRSSI);
    EXPECT_EQ(a.OnlyRSSI, b.OnlyRSSI);
    EXPECT_EQ(a.GMTCorrection, b.GMTCorrection);
    EXPECT_EQ(a.TimeOut, b.TimeOut);
    EXPECT_EQ(a.numCom, b.numCom);
}

// Every value different from its default.
Settings allChanged() {
    Settings s;
    s.IP = {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4"};
    s.Port = {"1", "65535", "70000", "X"};
    for (bool& flag : s.typeFlags) flag = !flag;
    s.IDFilter = false;
    s.AutoSave = false;
    s.HexLog = false;
    s.Editor = false;
    s.fWidth = 1024;
    s.fHeight = 700;
    s.fTop = -8;
    s.fLeft = 2000;
    s.mHeight = 333;
    s.eWidth = 900;
    s.eHeight = 400;
    s.eTop = 0;
    s.eLeft = -1;
    s.NewFileEvery65535 = false;
    s.PType = "6C";
    s.PByte = "12";
    s.RSSICorrection = {-255, -1, 1, 255};
    s.MaxRSSI = {-100, -90, 0, 42};
    s.OnlyRSSI = true;
    s.GMTCorrection = -12;
    s.TimeOut = 999;
    s.numCom = "/dev/ttyUSB0";
    return s;
}

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }

    QString iniPath() const { return dir_.filePath(QStringLiteral("Zelvar.conf")); }

    void writeFile(const QByteArray& content) {
        QFile file(iniPath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

    QByteArray fileContent() const {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QList<QByteArray> fileLines() const { return fileContent().split('\n'); }

    Settings loadFrom(const QByteArray& content) {
        writeFile(content);
        return SettingsStore(iniPath()).load();
    }

    QTemporaryDir dir_;
};

TEST(ParseStoredIntTest, AcceptsSignedDecimalThatFits32Bits) {
    EXPECT_EQ(ParseStoredInt("0"), 0);
    EXPECT_EQ(ParseStoredInt("60"), 60);
    EXPECT_EQ(ParseStoredInt("-60"), -60);
    EXPECT_EQ(ParseStoredInt("+7"), 7);
    EXPECT_EQ(ParseStoredInt("-0"), 0);
    EXPECT_EQ(ParseStoredInt("007"), 7);
    EXPECT_EQ(ParseStoredInt("2147483647"), 2147483647);
    EXPECT_EQ(ParseStoredInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ParseStoredInt("0000000000002147483647"), 2147483647);
}

TEST(ParseStoredIntTest, RejectsEverythingElse) {
    for (const char* text :
         {"", "-", "+", "+-1", "--1", " 1", "1 ", "1\n", "0x10", "$10", "1.0", "1e3", "12a",
          "2147483648", "-2147483649", "99999999999999999999", "\xD9\xA1" /* Arabic-Indic one */}) {
        EXPECT_EQ(ParseStoredInt(text), std::nullopt) << '"' << text << '"';
    }
    EXPECT_EQ(ParseStoredInt(std::string_view("1\0"
                                              "2",
                                              3)),
              std::nullopt);
}

TEST_F(SettingsStoreTest, EmptyStoreGivesTheFirstRunDefaults) {
    SettingsStore store(iniPath());
    const Settings loaded = store.load();
    expectSame(loaded, Settings{});
    EXPECT_EQ(loaded.IP[0], "192.168.10.1");
    EXPECT_EQ(loaded.IP[3], "192.168.13.1");
    EXPECT_EQ(loaded.TimeOut, 60);
    EXPECT_EQ(store.status(), QSettings::NoError);
    EXPECT_FALSE(QFile::exists(iniPath())) << "loading alone must not create the file";
}

TEST_F(SettingsStoreTest, EveryValueRoundTrips) {
    const Settings saved = allChanged();
    {
        SettingsStore store(iniPath());
        store.save(saved);
        EXPECT_EQ(store.status(), QSettings::NoError);
    }
    expectSame(SettingsStore(iniPath()).load(), saved);

    // The file keeps the historical names and plain string forms.
    const QList<QByteArray> lines = fileLines();
    for (const char* line :
         {"TimeOut=999", "03=0", "10=1", "FC=0", "MaxRSSI1=-100", "RSSICorrection4=255", "65535=0",
          "mwMaximized=0", "fTop=-8", "GMTCorrection=-12", "Port3=70000", "numCom=/dev/ttyUSB0"}) {
        EXPECT_TRUE(lines.contains(line)) << line << "\n" << fileContent().constData();
    }
}

TEST_F(SettingsStoreTest, DefaultsAreWrittenInTheirStringForms) {
    SettingsStore(iniPath()).save(Settings{});
    const QList<QByteArray> lines = fileLines();
    for (const char* line : {"TimeOut=60", "03=1", "10=0", "MaxRSSI1=-60", "IP1=192.168.10.1",
                             "Port4=4064", "IDFilter=1", "PType=0B", "numCom="}) {
        EXPECT_TRUE(lines.contains(line)) << line << "\n" << fileContent().constData();
    }
}

TEST_F(SettingsStoreTest, AwkwardTextsRoundTrip) {
    Settings s;
    s.numCom = "COM1,COM2";
    s.IP[0] = "a\"b=c";
    s.IP[1] = " padded ";
    s.IP[2] = "@ByteArray(x)";
    s.IP[3] = ";not a comment";
    s.Port[0] = "";
    s.Port[1] = "[General]";
    s.PType = "back\\slash";
    s.PByte = "Порт";
    SettingsStore(iniPath()).save(s);
    expectSame(SettingsStore(iniPath()).load(), s);
}

TEST_F(SettingsStoreTest, BooleansAreAnyNumberButZero) {
    const Settings s = loadFrom(
        "[General]\nAutoSave=5\nHexLog=-1\nEditor=0\nOnlyRSSI=2\nIDFilter=abc\n65535=\n"
        "mwMaximized=yes\n03=0\n10=1\n");
    EXPECT_TRUE(s.AutoSave);
    EXPECT_TRUE(s.HexLog);
    EXPECT_FALSE(s.Editor);
    EXPECT_TRUE(s.OnlyRSSI);
    EXPECT_TRUE(s.IDFilter) << "no number: default";
    EXPECT_TRUE(s.NewFileEvery65535) << "empty: default";
    EXPECT_FALSE(s.mwMaximized) << "no number: default";
    EXPECT_FALSE(s.typeFlag("03"));
    EXPECT_TRUE(s.typeFlag("10"));

    SettingsStore(iniPath()).save(s);
    const QList<QByteArray> lines = fileLines();
    EXPECT_TRUE(lines.contains("AutoSave=1"));
    EXPECT_TRUE(lines.contains("HexLog=1"));
    EXPECT_TRUE(lines.contains("OnlyRSSI=1"));
}

TEST_F(SettingsStoreTest, IntegersThatAreNoNumberGiveTheirDefault) {
    const Settings s = loadFrom(
        "[General]\nTimeOut=0x3C\nGMTCorrection=4.5\nfWidth=99999999999\nfHeight=\n"
        "MaxRSSI1=\"-70 \"\nMaxRSSI2=-70,1\nRSSICorrection1=@Size(1 2)\nmHeight=@Invalid()\n"
        "eTop=-2147483648\neLeft=+5\n");
    const Settings d;
    EXPECT_EQ(s.TimeOut, d.TimeOut);
    EXPECT_EQ(s.GMTCorrection, d.GMTCorrection);
    EXPECT_EQ(s.fWidth, d.fWidth);
    EXPECT_EQ(s.fHeight, d.fHeight);
    EXPECT_EQ(s.MaxRSSI[0], d.MaxRSSI[0]);
    EXPECT_EQ(s.MaxRSSI[1], d.MaxRSSI[1]);
    EXPECT_EQ(s.RSSICorrection[0], d.RSSICorrection[0]);
    EXPECT_EQ(s.mHeight, d.mHeight);
    EXPECT_EQ(s.eTop, -2147483647 - 1);
    EXPECT_EQ(s.eLeft, 5);
}

TEST_F(SettingsStoreTest, OutOfRangeValuesAreLoadedAsStored) {
    // Clamping belongs to the settings dialog, not to the store.
    const Settings s = loadFrom("[General]\nTimeOut=0\nGMTCorrection=20\nIP1=no address\n");
    EXPECT_EQ(s.TimeOut, 0);
    EXPECT_EQ(s.GMTCorrection, 20);
    EXPECT_EQ(s.IP[0], "no address");
}

TEST_F(SettingsStoreTest, HandEditedTextsComeBackAsWrittenOrAsDefault) {
    const Settings s = loadFrom(
        "[General]\nIP1=10,0,0,1\nIP2=@ByteArray(10.0.0.2)\nIP3=\nPort1=@Invalid()\n"
        "Port2=@Rect(1 2 3 4)\nnumCom=\"COM3\"\nPType=,\n");
    const Settings d;
    EXPECT_EQ(s.IP[0], "10,0,0,1");
    EXPECT_EQ(s.IP[1], d.IP[1]);
    EXPECT_EQ(s.IP[2], "") << "an empty value is a text like any other";
    EXPECT_EQ(s.Port[0], d.Port[0]);
    EXPECT_EQ(s.Port[1], d.Port[1]);
    EXPECT_EQ(s.numCom, "COM3");
    EXPECT_EQ(s.PType, ",");
}

TEST_F(SettingsStoreTest, NamesAreCaseSensitiveAndUngrouped) {
    const Settings s = loadFrom("[General]\ntimeout=5\nip1=1.1.1.1\n[Other]\nTimeOut=7\n");
    EXPECT_EQ(s.TimeOut, 60);
    EXPECT_EQ(s.IP[0], "192.168.10.1");
}

TEST_F(SettingsStoreTest, MaximisedWindowsLeaveTheirStoredBoundsAlone) {
    writeFile("[General]\nfWidth=1000\nfHeight=600\nfTop=20\nfLeft=30\nmHeight=80\n");
    Settings s = allChanged();
    s.mwMaximized = true;
    s.ewMaximized = true;
    SettingsStore(iniPath()).save(s);

    const Settings loaded = SettingsStore(iniPath()).load();
    EXPECT_TRUE(loaded.mwMaximized);
    EXPECT_TRUE(loaded.ewMaximized);
    EXPECT_EQ(loaded.fWidth, 1000);
    EXPECT_EQ(loaded.fHeight, 600);
    EXPECT_EQ(loaded.fTop, 20);
    EXPECT_EQ(loaded.fLeft, 30);
    EXPECT_EQ(loaded.mHeight, s.mHeight) << "the hex pane is saved either way";
    const QList<QByteArray> lines = fileLines();
    EXPECT_TRUE(lines.contains("mwMaximized=1"));
    EXPECT_TRUE(lines.contains("ewMaximized=1"));
    for (const char* key : {"eWidth=", "eHeight=", "eTop=", "eLeft="}) {
        for (const QByteArray& line : lines) EXPECT_FALSE(line.startsWith(key)) << line.constData();
    }

    // The first close in the normal state stores the bounds again.
    s.mwMaximized = false;
    s.ewMaximized = false;
    SettingsStore(iniPath()).save(s);
    expectSame(SettingsStore(iniPath()).load(), s);
}

// A FIFO in the store's place would stop the program's start until someone
// writes into it, and a device would be read without end: a store that is
// no regular file is neither read nor written, and says why.
TEST_F(SettingsStoreTest, StoreThatIsNoRegularFileIsLeftAlone) {
    const QByteArray path = QFile::encodeName(iniPath());
    ASSERT_EQ(::mkfifo(path.constData(), 0600), 0);
    const test::FifoRescue rescue(path.toStdString());
    {
        SettingsStore store(iniPath());
        expectSame(store.load(), Settings{});
        EXPECT_FALSE(store.writable());
        EXPECT_FALSE(store.save(Settings{}));
        EXPECT_TRUE(store.writeFailureText().contains(QStringLiteral("not a regular file")))
            << store.writeFailureText().toStdString();
    }
    EXPECT_EQ(rescue.rescues(), 0) << "the FIFO was opened";
    struct stat info {};
    ASSERT_EQ(::stat(path.constData(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(SettingsStoreUserTest, UserStoreLivesUnderTheConfigHome) {
    const QString home = ConfigHomeEnvironment::path();
    ASSERT_FALSE(home.isEmpty());
    const QString expected = home + QStringLiteral("/Kavren/Zelvar.conf");
    QFile::remove(expected);
    // A store for the whole organisation must not be consulted.
    ASSERT_TRUE(QDir(home).mkpath(QStringLiteral("Kavren")));
    {
        QFile orgWide(home + QStringLiteral("/Kavren.conf"));
        ASSERT_TRUE(orgWide.open(QIODevice::WriteOnly));
        orgWide.write("[General]\nTimeOut=5\nIP1=9.9.9.9\n");
    }

    SettingsStore store;
    EXPECT_EQ(QFileInfo(store.fileName()).absoluteFilePath().toStdString(),
              QFileInfo(expected).absoluteFilePath().toStdString());
    const Settings loaded = store.load();
    EXPECT_EQ(loaded.TimeOut, 60);
    EXPECT_EQ(loaded.IP[0], "192.168.10.1");

    Settings s;
    s.TimeOut = 30;
    store.save(s);
    EXPECT_TRUE(QFile::exists(expected));
    EXPECT_EQ(SettingsStore(expected).load().TimeOut, 30);
    QFile::remove(expected);
    QFile::remove(home + QStringLiteral("/Kavren.conf"));
}

}  // namespace
}  // namespace zelvar
