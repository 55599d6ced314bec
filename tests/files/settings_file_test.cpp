#include "files/settings_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "files/temp_dir.h"

namespace {

// The file lives in the current directory: every test runs in a fresh one.
class SettingsFileTest : public ::testing::Test {
protected:
    void Put(const std::string& bytes) { dir_.Write(CSettingsFile::kFileName, bytes); }
    std::string Get() const { return ReadFileBytes(dir_.File(CSettingsFile::kFileName)); }

    InTempCwd cwd_;
    const TempDir& dir_ = cwd_.Dir();
};

TEST_F(SettingsFileTest, ReadsWhatTheFileHolds) {
    struct Case {
        const char* name;
        std::string bytes;
        bool ok;
        int port;  // 0: none taken
        int baudIndex;
    } cases[] = {
        {"usual", "CommPort=COM3\r\nBaudRate=9600\r\n", true, 3, 3},
        {"COM12 at 9600", "CommPort=COM12\r\nBaudRate=9600\r\n", true, 12, 3},
        {"every rate 57600", "CommPort=COM1\r\nBaudRate=57600\r\n", true, 1, 0},
        {"19200", "CommPort=COM1\r\nBaudRate=19200\r\n", true, 1, 2},
        {"4800", "CommPort=COM1\r\nBaudRate=4800\r\n", true, 1, 4},
        {"2400", "CommPort=COM1\r\nBaudRate=2400\r\n", true, 1, 5},
        {"1200", "CommPort=COM32\r\nBaudRate=1200\r\n", true, 32, 6},
        {"unknown rate is 38400", "CommPort=COM2\r\nBaudRate=14400\r\n", true, 2, 1},
        {"no number is 38400", "CommPort=COM2\r\nBaudRate=\r\n", true, 2, 1},
        {"last LF missing", "CommPort=COM2\r\nBaudRate=2400\r", true, 2, 5},
        {"trailing text ignored", "CommPort=COM2\r\nBaudRate=2400\r\nmore\r\n", true, 2, 5},
        {"number then junk", "CommPort=COM7x\r\nBaudRate=9600 baud\r\n", true, 7, 3},
        {"11 digits", "CommPort=COM00000000005\r\nBaudRate=00000009600\r\n", true, 5, 3},
        {"empty", "", false, 0, 0},
        {"bad first line", "commport=COM3\r\nBaudRate=9600\r\n", false, 0, 0},
        {"short first line", "CommPort=CO", false, 0, 0},
        {"port without CR", "CommPort=COM3", false, 0, 0},
        {"port of 12 characters", "CommPort=COM000000000003\r\nBaudRate=9600\r\n", false, 0, 0},
        // A port the utility cannot open is ignored; the rate beside it still counts.
        {"port 0", "CommPort=COM0\r\nBaudRate=9600\r\n", true, 0, 3},
        {"port 33", "CommPort=COM33\r\nBaudRate=1200\r\n", true, 0, 6},
        {"LF only", "CommPort=COM3\nBaudRate=9600\n", false, 0, 0},
        {"bad second line keeps the port", "CommPort=COM4\r\nBaud=9600\r\n", false, 4, 0},
        {"file ends in the rate", "CommPort=COM4\r\nBaudRate=9600", false, 4, 0},
        {"rate of 12 characters", "CommPort=COM4\r\nBaudRate=000000009600\r\n", false, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put(c.bytes);
        CSettingsFile::ReadResult r = CSettingsFile::Read();
        EXPECT_EQ(r.ok, c.ok);
        EXPECT_EQ(r.port.value_or(0), c.port);
        if (c.ok) {
            EXPECT_EQ(r.baudIndex, c.baudIndex);
        }
    }
}

TEST_F(SettingsFileTest, MissingFileIsAFailedRead) {
    CSettingsFile::ReadResult r = CSettingsFile::Read();
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.port);
}

TEST_F(SettingsFileTest, WritesTwoLinesAndCutsTheRest) {
    EXPECT_TRUE(CSettingsFile::Write(3, 3));
    EXPECT_EQ(Get(), "CommPort=COM3\r\nBaudRate=9600\r\n");

    Put("CommPort=COM31\r\nBaudRate=57600\r\nand a great deal more that was here before\r\n");
    EXPECT_TRUE(CSettingsFile::Write(5, 1));
    EXPECT_EQ(Get(), "CommPort=COM5\r\nBaudRate=38400\r\n");

    struct {
        int index, rate;
    } rates[] = {{0, 57600}, {1, 38400}, {2, 19200}, {3, 9600},   {4, 4800},
                 {5, 2400},  {6, 1200},  {7, 38400}, {-1, 38400}};
    for (auto r : rates) {
        EXPECT_EQ(CSettingsFile::RateOfIndex(r.index), r.rate) << r.index;
        EXPECT_TRUE(CSettingsFile::Write(32, r.index));
        EXPECT_EQ(Get(), "CommPort=COM32\r\nBaudRate=" + std::to_string(r.rate) + "\r\n");
        EXPECT_EQ(CSettingsFile::Read().baudIndex, r.index >= 0 && r.index <= 6 ? r.index : 1);
    }
}

TEST_F(SettingsFileTest, WriteFailureIsReturnedNotThrown) {
    EXPECT_FALSE(CSettingsFile::Write(1, 1, dir_.File("no/such/dir/QORWUTIL.CFG")));
    ASSERT_EQ(::mkdir(dir_.File("dir").c_str(), 0700), 0);
    EXPECT_FALSE(CSettingsFile::Write(1, 1, dir_.File("dir")));
}

}  // namespace
