#include <gtest/gtest.h>

#include <QTabWidget>

#include "gui/main_window.h"

TEST(MainWindowView, ShowsTheSevenTabsInOrder) {
    MainWindow w;
    ASSERT_EQ(w.Tabs()->count(), 7);
    const char* expected[] = {"QOR IP Addr", "Message Routing",  "Email",        "Reset",
                              "Utility Settings", "Web Config", "Web Data Desc"};
    for (int i = 0; i < 7; ++i) EXPECT_EQ(w.Tabs()->tabText(i).toStdString(), expected[i]);
    EXPECT_EQ(w.windowTitle().toStdString(), "QOR / QORW Utility");
}
