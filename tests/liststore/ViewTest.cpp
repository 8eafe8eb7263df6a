// The view: a panel of controls stored as typed items, and the panel signature.
#include "liststore/QDBFields.h"
#include "liststore/QDBView.h"
#include "liststore/StoreFiles.h"
#include "support/Files.h"

#include <gtest/gtest.h>
#include <memory>
#include <QTemporaryDir>
#include <vector>

using namespace lb;
using namespace lb::test;

namespace {

using Layout = QList<std::tuple<const char*, const char*, bool>>;

struct Panel {
    explicit Panel(const Layout& layout) {
        for (const auto& [name, cls, multi] : layout) {
            controls.push_back(std::make_unique<QDBTextControl>(name, cls, multi));
            list.append(controls.back().get());
        }
    }
    QDBTextControl& operator[](int i) { return *controls[size_t(i)]; }
    std::vector<std::unique_ptr<QDBTextControl>> controls;
    QList<QDBControl*> list;
};

const Layout ThreeControls = {
    {"Name", "TEdit", false}, {"Notes", "TMemo", true}, {"Count", "TEdit", false}};

class ViewTest : public ::testing::Test {
protected:
    QString file() const { return dir.path() + "/view.set"; }
    void openView(TQDBView& v, Panel& p) {
        v.bindPanel(p.list);
        v.OnKey = [this] { return key; };
        v.setFileName(file());
    }
    // Posts a new item of the panel with Name set to name, under key k.
    void postNew(TQDBView& v, Panel& p, const QString& k, const QString& name) {
        v.insert();
        p[0].setText(name);
        key = k;
        v.post();
    }
    QTemporaryDir dir;
    QString key;
};

} // namespace

TEST_F(ViewTest, StoresAndFetchesEveryControlAsTextAndNul) {
    Panel p(ThreeControls);
    TQDBView v;
    openView(v, p);
    v.insert();
    p[0].setText("Main");
    p[1].setText("line one\nline two\r\nthree");
    key = "First";
    EXPECT_TRUE(v.post());
    ASSERT_TRUE(v.findKey("first"));
    EXPECT_EQ(v.currentItem(),
              fieldsBody({QByteArray("Main\0", 5),
                          QByteArray("line one\r\nline two\r\nthree\0", 26), QByteArray(1, '\0')}));

    // Fetching puts the values back; missing fields read back empty.
    v.addItem("short", fieldsBody({QByteArray("only\0", 5)}));
    ASSERT_TRUE(v.findKey("short"));
    v.fetch();
    EXPECT_EQ(p[0].text(), "only");
    EXPECT_EQ(p[1].text(), "");
    // A field running past its body: that item cannot be read.
    v.addItem("broken", u32(50) + "abc");
    ASSERT_TRUE(v.findKey("broken"));
    EXPECT_EQ(messageOf([&] { v.fetch(); }), "The file " + file() + " is not a valid QDB file");
}

TEST_F(ViewTest, EditCancelAndPostUnderAnotherName) {
    Panel p(ThreeControls);
    TQDBView v;
    openView(v, p);
    postNew(v, p, "one", "A");
    v.edit();
    p[0].setText("B");
    v.cancel(); // abandons the edit and shows the stored values again
    EXPECT_EQ(p[0].text(), "A");
    EXPECT_FALSE(v.post()); // nothing pending

    // Edited and posted under a new name: a new item, the old one stays.
    v.edit();
    p[0].setText("D");
    key = "two";
    v.post();
    ASSERT_TRUE(v.findKey("one"));
    v.fetch();
    EXPECT_EQ(p[0].text(), "A");
    // Signature items are not data: they cannot be edited through the panel.
    ASSERT_TRUE(v.findKey("QF.0000"));
    EXPECT_THROW(v.edit(), EQDBNoData);
}

// The panel's signature: one item per control, written with the next save.
TEST_F(ViewTest, SignatureWrittenForAFreshOrEmptyFileRefusedWhenItHoldsItems) {
    Panel mine(ThreeControls);
    Panel other({{"Other", "TEdit", false}, {"Notes", "TMemo", true}});
    {
        TQDBView v;
        openView(v, other);
        EXPECT_EQ(readFile(file()).size(), 21); // not on disk until saved
        v.save();
    }
    // No data items yet: the panel's own signature replaces the foreign one.
    {
        TQDBView v;
        openView(v, mine);
        EXPECT_EQ(v.count(), 3);
        v.save();
        EXPECT_EQ(v.readItem(0), QByteArray("\x06.Name.TEdit"));
        EXPECT_EQ(v.readItem(2), QByteArray("\x06.Count.TEdit"));
    }
    // The same panel opens again without any change.
    {
        TQDBView v;
        openView(v, mine);
        EXPECT_FALSE(v.changed());
        postNew(v, mine, "data", "x");
        v.save();
    }
    const QByteArray before = readFile(file());
    Panel fewer({{"Name", "TEdit", false}, {"Notes", "TMemo", true}});
    TQDBView v;
    EXPECT_EQ(messageOf([&] { openView(v, fewer); }), "File doesn't match panel");
    EXPECT_FALSE(v.isOpen());
    EXPECT_EQ(readFile(file()), before);
}
