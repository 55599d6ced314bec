#include "support/port_test_tree.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <mutex>

#include "link/port_map.h"

namespace {

std::mutex mu;
std::vector<SerialDevice> present;

void UseTree() {
    SetSerialDeviceSource([] {
        std::lock_guard lk(mu);
        return present;
    });
}

struct TestTree {
    std::string configHome;
    TestTree() {
        char tmpl[] = "/tmp/qor_config.XXXXXX";
        if (::mkdtemp(tmpl)) configHome = tmpl;
        // Child processes (qorwctl under test) inherit it.
        ::setenv("XDG_CONFIG_HOME", configHome.c_str(), 1);
        UseTree();
    }
    ~TestTree() {
        std::error_code ec;
        if (!configHome.empty()) std::filesystem::remove_all(configHome, ec);
    }
};

TestTree tree;

}  // namespace

void SetTestPorts(std::vector<SerialDevice> devices) {
    std::lock_guard lk(mu);
    present = std::move(devices);
}

void ResetTestPorts(std::vector<SerialDevice> devices) {
    for (int com = 1; com <= PortMap::kPortCount; ++com)
        ::unsetenv(("QORW_COM" + std::to_string(com)).c_str());
    ::unlink(TestPinsPath().c_str());
    ::unlink(AssignedPath(TestPinsPath()).c_str());
    SetTestPorts({});
    ProgramPortMap().Refresh();
    SetTestPorts(std::move(devices));
}

SerialDevice UsbPort(const std::string& devnode, const std::string& byIdName,
                     const std::string& product, const std::string& serial,
                     const std::string& driver, const std::string& socketName) {
    return {
        devnode, byIdName.empty() ? "" : "/dev/serial/by-id/" + byIdName,      "", product, serial,
        driver,  socketName.empty() ? "" : "/dev/serial/by-path/" + socketName};
}

std::string TestPinsPath() {
    return DefaultPinsPath();
}

SystemPorts::SystemPorts() {
    SetSerialDeviceSource({});
}

SystemPorts::~SystemPorts() {
    UseTree();
}
