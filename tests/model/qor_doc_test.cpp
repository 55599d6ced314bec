#include <gtest/gtest.h>

#include <set>

#include "model/qor_doc.h"

namespace {

TEST(QorDoc, KeysOfAllIdentifiers) {
    struct Case {
        int id, key;
    } cases[] = {{0, 100},   {49, 149},  {50, 150},  {99, 199},  {100, 1},   {129, 30},
                 {130, 31},  {169, 70},  {170, 0xF8}, {171, 0xFA}, {175, 0xFA}, {176, 0xF9},
                 {177, 0xF2}, {178, 0xF3}, {179, 0xF4}, {180, 0xFB}, {181, 0xF5}, {182, 0xFC},
                 {183, 0xFD}, {184, 0xF1}, {185, 0xFE}, {186, 0xF6}, {187, 0xF7}, {-1, -1},
                 {188, -1}};
    for (const auto& c : cases) EXPECT_EQ(QorDoc::KeyOf(c.id), c.key) << c.id;
}

TEST(QorDoc, OneParameterObjectPerKey) {
    QorDoc doc;
    std::set<CParam*> objects;
    for (int id = 0; id < 188; ++id) {
        CParam* p = doc.ParamOf(QorDoc::KeyOf(id));
        ASSERT_NE(p, nullptr) << id;
        objects.insert(p);
    }
    EXPECT_EQ(objects.size(), 184u);
    EXPECT_EQ(doc.ParamOf(0), nullptr);
    EXPECT_EQ(doc.ParamOf(0xFF), nullptr);
    EXPECT_EQ(doc.ParamOf(71), nullptr);
}

TEST(QorDoc, StartsEmpty) {
    QorDoc doc;
    for (int id = 0; id < 188; ++id) EXPECT_EQ(doc.GET(id), "") << id;
    EXPECT_TRUE(doc.IsQueueEmpty());
    EXPECT_FALSE(doc.WebCapable());
}

TEST(QorDoc, UnknownIdentifiersAreHarmless) {
    QorDoc doc;
    for (int id : {-1, 188, 1000}) {
        EXPECT_EQ(doc.GET(id), "QorDoc::GET() Unknown Parameter Specified");
        doc.SET(id, "x");
        doc.UPDATE(id, "x", true);
        doc.QUEUE(id);
    }
    EXPECT_TRUE(doc.IsQueueEmpty());
}

TEST(QorDoc, AddressFieldsAreTheDocumentsOwn) {
    QorDoc doc;
    doc.SET(171, "010.001.002.003");
    doc.SET(175, "255.255.255.255");
    EXPECT_EQ(doc.GET(171), "010.001.002.003");
    EXPECT_EQ(doc.GET(172), "");
    EXPECT_EQ(doc.GET(175), "255.255.255.255");
}

TEST(QorDoc, UpdateQueuesUnlessReadFromDeviceAndEqual) {
    QorDoc doc;
    doc.UPDATE(183, "9600", false);
    EXPECT_EQ(doc.Queue(), std::deque<uint8_t>{0xFD});
    doc.ClearQueue();

    doc.ParamOf(0xFD)->FromDevice(doc, "0400");  // as an upload reads it
    doc.ParamOf(0xFD)->fromDevice = true;
    doc.ClearQueue();
    doc.UPDATE(183, "9600", false);
    EXPECT_TRUE(doc.IsQueueEmpty());
    doc.UPDATE(183, "9600", true);
    EXPECT_EQ(doc.Queue(), std::deque<uint8_t>{0xFD});
    doc.ClearQueue();
    doc.UPDATE(183, "4800", false);
    EXPECT_EQ(doc.GET(183), "4800");
    EXPECT_EQ(doc.Queue(), std::deque<uint8_t>{0xFD});
}

TEST(QorDoc, UpdateComparesCaseSensitively) {
    QorDoc doc;
    doc.SET(177, "user");
    doc.ParamOf(0xF2)->fromDevice = true;
    doc.UPDATE(177, "User", false);
    EXPECT_EQ(doc.GET(177), "User");
    EXPECT_EQ(doc.QueueCount(), 1u);
}

TEST(QorDoc, QueueHasNoDuplicatesAndKeepsOrder) {
    QorDoc doc;
    doc.QUEUE(171);
    doc.QUEUE(5);
    doc.QUEUE(175);
    doc.QUEUE(5);
    doc.UPDATE(172, "255.000.000.000", false);
    EXPECT_EQ(doc.Queue(), (std::deque<uint8_t>{0xFA, 105}));
    EXPECT_EQ(doc.GET(172), "255.000.000.000");
    EXPECT_EQ(doc.TakeNext(), 0xFA);
    EXPECT_EQ(doc.QueueCount(), 1u);
    EXPECT_EQ(doc.TakeNext(), 105);
    EXPECT_EQ(doc.TakeNext(), -1);
    EXPECT_TRUE(doc.IsQueueEmpty());
}

TEST(QorDoc, QueueLeavesValuesAlone) {
    QorDoc doc;
    doc.SET(0, "010.000.000.001");
    doc.QUEUE(0);
    EXPECT_EQ(doc.GET(0), "010.000.000.001");
    doc.ClearQueue();
    EXPECT_TRUE(doc.IsQueueEmpty());
}

TEST(QorDoc, TransactionNumberAndWebFlag) {
    QorDoc doc;
    uint16_t& t = doc.TransactionNumber();
    t = 0xFFFF;
    ++t;
    EXPECT_EQ(doc.TransactionNumber(), 0);
    doc.SetWebCapable(true);
    EXPECT_TRUE(doc.WebCapable());
}

}  // namespace
