#include "qorsim/sim_module.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "link/sim_link.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(SimModule, KeysFromNodeAndAddress) {
    struct {
        uint8_t node;
        uint16_t address;
        int key;
    } cases[] = {{0xC8, 1, 1}, {0xC8, 30, 30},  {0xC9, 1, 31},  {0xC9, 40, 70}, {0xC8, 0, 200},
                 {0x00, 0, 0}, {0xFD, 0, 0xFD}, {0x64, 0, 100}, {0xC9, 41, -1}, {0xFD, 3, -1}};
    for (auto c : cases)
        EXPECT_EQ(SimModule::KeyFor(c.node, c.address), c.key) << int(c.node);
}

TEST(SimModule, WritesGoToRamAndResetsMoveThem) {
    SimLink l;
    ASSERT_TRUE(l.channel.Open());
    // Baud 38400 with routing, then the address block.
    EXPECT_EQ(l.channel.SendAndReceive("FD000800TTTT00006A00").substr(0, 4), "4800");
    EXPECT_EQ(l.channel.SendAndReceive("FD000100TTTT000002").substr(8), "6A00");
    EXPECT_EQ(l.sim.Ram(0xFD), (Bytes{0x6A, 0x00}));
    EXPECT_EQ(l.sim.Rom(0xFD), (Bytes{0x68, 0x00}));  // the out-of-box 9600
    // A write to a web text reaches key 31 through node C9, address 1.
    EXPECT_EQ(l.channel.SendAndReceive("C9000800TTTT0100020042410000").substr(0, 4), "4800");
    EXPECT_EQ(l.sim.Ram(31).size(), 84u);
    EXPECT_EQ(l.sim.Ram(31)[2], 0x42);
    // Store and reset: ROM takes RAM.
    EXPECT_EQ(l.channel.SendAndReceive("F8000800TTTT00000000").substr(0, 4), "4800");
    EXPECT_EQ(l.sim.Stats().lastResetKind, 0);
    EXPECT_EQ(l.sim.Rom(0xFD), (Bytes{0x6A, 0x00}));
}

TEST(SimModule, ResetKinds) {
    struct {
        int kind;
        bool baudKept, ipKept, maskKept;
    } cases[] = {{0, true, true, true},
                 {1, false, false, false},
                 {2, false, false, false},
                 {3, false, true, false}};
    for (auto c : cases) {
        SimOptions o;
        o.restartSilenceMs = 0;
        SimLink l(o);
        ASSERT_TRUE(l.channel.Open());
        l.sim.SetRam(0xFD, {0x6A, 0x00});
        Bytes block = l.sim.Ram(0xFA);
        block[0] = 192;     // IP address
        block[32 + 6] = 7;  // security mask 2
        l.sim.SetRam(0xFA, block);
        char request[32];
        std::snprintf(request, sizeof request, "F8000800TTTT0000%02X00", c.kind);
        EXPECT_EQ(l.channel.SendAndReceive(request).substr(0, 4), "4800") << c.kind;
        EXPECT_EQ(l.sim.Ram(0xFD)[0] == 0x6A, c.baudKept) << c.kind;
        EXPECT_EQ(l.sim.Ram(0xFA)[0] == 192, c.ipKept) << c.kind;
        EXPECT_EQ(l.sim.Ram(0xFA)[38] == 7, c.maskKept) << c.kind;
    }
}

TEST(SimModule, UnknownKeysAndNonWebModuleAnswerWithAnError) {
    SimOptions o;
    o.web = false;
    SimLink l(o);
    ASSERT_TRUE(l.channel.Open());
    EXPECT_EQ(l.channel.SendAndReceive("C8000100TTTT010054").substr(0, 4), "4102");
    EXPECT_EQ(l.channel.SendAndReceive("C8000100TTTT000054").substr(0, 4), "4102");  // key 200
    EXPECT_EQ(l.channel.SendAndReceive("FD000100TTTT000002").substr(0, 4), "4100");
}

TEST(SimModule, AnnouncesAfterRestartUntilSpokenTo) {
    SimOptions o;
    o.restartSilenceMs = 30;
    o.announceIntervalMs = 20;
    SimLink l(o);
    ASSERT_TRUE(l.channel.Open());
    l.sim.Restart();
    std::string announcement = l.channel.ReceiveNext();
    EXPECT_EQ(announcement.substr(0, 4), "0600");
    EXPECT_EQ(announcement.substr(8), "0000BC1A2B3C");
    // The repeats carry the same header: acknowledged, not queued again.
    ASSERT_TRUE(Eventually([&] { return l.sim.Stats().acksIn >= 3; }));
    EXPECT_EQ(l.channel.PendingReplies(), 0);
    EXPECT_TRUE(l.sim.Announcing());
    EXPECT_EQ(l.channel.SendFrame("FE004600" + announcement.substr(4)), 0);
    EXPECT_FALSE(l.sim.Announcing());
    EXPECT_EQ(l.sim.Requests().back().command, 0x46);
}

TEST(SimModule, LogsOneLinePerRequest) {
    std::string path = testing::TempDir() + "qorsim_log_test.txt";
    std::remove(path.c_str());
    {
        SimOptions o;
        o.logPath = path;
        SimLink l(o);
        ASSERT_TRUE(l.channel.Open());
        l.channel.SetLinkTransaction(0x0201);
        l.channel.SendAndReceive("C9000100TTTT010054");
        l.channel.SendAndReceive("FD000800TTTT00006A00");
    }
    std::ifstream in(path);
    std::string a, b;
    std::getline(in, a);
    std::getline(in, b);
    EXPECT_EQ(a, "cmd=01 node=C9 addr=0001 key=1F trans=0201 data=54");
    EXPECT_EQ(b, "cmd=08 node=FD addr=0000 key=FD trans=0202 data=6A00");
}

TEST(SimModule, ProgramPrintsItsSlavePathAndStopsOnSigterm) {
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        execl(QOR_BINARY_DIR "/qorsim", "qorsim", "--firmware", "2.0", nullptr);
        _exit(127);
    }
    close(out[1]);
    std::string path;
    char c;
    while (read(out[0], &c, 1) == 1 && c != '\n')
        path.push_back(c);
    close(out[0]);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    setenv("QORW_COM8", path.c_str(), 1);
    SerialChannel channel;
    channel.SetPort(8);
    channel.SetBaudRate(57600);
    channel.SetReplyWait(2);
    ASSERT_TRUE(channel.Open());
    std::string reply = channel.SendAndReceive("F8000100TTTT000054");
    EXPECT_EQ(reply.substr(0, 4), "4100");
    channel.Close();
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
