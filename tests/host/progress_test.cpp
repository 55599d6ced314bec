#include "host/progress.h"

#include <gtest/gtest.h>

TEST(ProgressWnd, OpeningStartsAtTheRangeStartWithStepOne) {
    CProgressWnd p;
    p.SetRange(0, 3);
    p.SetStep(5);
    p.SetPos(2);
    p.Open();
    EXPECT_TRUE(p.IsOpen());
    EXPECT_EQ(p.Pos(), 0);
    EXPECT_EQ(p.Step(), 1);
    p.StepIt();
    EXPECT_EQ(p.Pos(), 1);
    p.Close();
    EXPECT_FALSE(p.IsOpen());
}

TEST(ProgressWnd, StepsStopAtTheEndAndANewRangeKeepsThePositionInside) {
    CProgressWnd p;
    p.Open();
    p.SetRange(0, 2);
    for (int i = 0; i < 5; ++i)
        p.StepIt();
    EXPECT_EQ(p.Pos(), 2);
    p.SetRange(0, 1);
    EXPECT_EQ(p.Pos(), 1);
    p.SetRange(0, 0);  // an empty transfer queue
    EXPECT_EQ(p.Upper(), 0);
    EXPECT_EQ(p.Pos(), 0);
}

TEST(ProgressWnd, EveryChangeReachesTheListener) {
    CProgressWnd p;
    std::vector<std::string> seen;
    p.SetListener([&] {
        seen.push_back(p.Title() + (p.IsOpen() ? " open " : " closed ") + std::to_string(p.Pos()));
    });
    p.SetTitle("Connecting...");
    p.SetRange(0, 3);
    p.Open();
    p.StepIt();
    p.Close();
    p.Close();  // already closed: nothing to tell
    EXPECT_EQ(seen, (std::vector<std::string>{"Connecting... closed 0", "Connecting... closed 0",
                                              "Connecting... open 0", "Connecting... open 1",
                                              "Connecting... closed 1"}));
}
