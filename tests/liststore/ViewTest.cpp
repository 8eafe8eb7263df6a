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

struct Panel {
    explicit Panel(const QList<std::tuple<const char*, const char*, bool>>& layout) {
        for (const auto& [name, cls, multi] : layout) {
            controls.push_back(std::make_unique<QDBTextControl>(name, cls, multi));
            list.append(controls.back().get());
        }
    }
    QDBTextControl& operator[](int i) { return *controls[size_t(i)]; }
    std::vector<std::unique_ptr<QDBTextControl>> controls;
    QList<QDBControl*> list;
};

const QList<std::tuple<const char*, const char*, bool>> ThreeControls = {
    {"Name", "TEdit", false}, {"Notes", "TMemo", true}, {"Count", "TEdit", false}};

class ViewTest : public ::testing::Test {
protected:
    QString file() const { return dir.path() + "/view.set"; }
    void openView(TQDBView& v, Panel& p) {
        v.bindPanel(p.list);
        v.OnKey = [this] { return key; };
        v.setFileName(file());
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
    EXPECT_EQ(v.state(), TQDBView::State::Insert);
    p[0].setText("Main");
    p[1].setText("line one\nline two\r\nthree");
    key = "First";
    EXPECT_TRUE(v.post());
    v.save();

    TQDB raw;
    raw.setFileName(file());
    ASSERT_TRUE(raw.findKey("first"));
    EXPECT_EQ(raw.currentItem(),
              fieldsBody({QByteArray("Main\0", 5),
                          QByteArray("line one\r\nline two\r\nthree\0", 26), QByteArray(1, '\0')}));

    // Fetching puts the values back; missing fields read back empty.
    Panel q(ThreeControls);
    TQDBView w;
    openView(w, q);
    ASSERT_TRUE(w.findKey("FIRST"));
    w.fetch();
    EXPECT_EQ(q[0].text(), "Main");
    EXPECT_EQ(q[1].text(), "line one\r\nline two\r\nthree");
    EXPECT_EQ(q[2].text(), "");
    key = "short";
    w.addItem("short", fieldsBody({QByteArray("only\0", 5)}));
    q[1].setText("stale");
    w.fetch();
    EXPECT_EQ(q[0].text(), "only");
    EXPECT_EQ(q[1].text(), "");
    // A field running past its body: that item cannot be read.
    w.addItem("broken", u32(50) + "abc");
    ASSERT_TRUE(w.findKey("broken"));
    EXPECT_EQ(messageOf([&] { w.fetch(); }), "The file " + file() + " is not a valid QDB file");
}

TEST_F(ViewTest, EditCancelAndPostUnderAnotherName) {
    Panel p(ThreeControls);
    TQDBView v;
    openView(v, p);
    v.insert();
    p[0].setText("A");
    key = "one";
    v.post();
    v.edit();
    p[0].setText("B");
    v.cancel(); // abandons the edit and shows the stored values again
    EXPECT_EQ(p[0].text(), "A");
    EXPECT_FALSE(v.editing());
    EXPECT_FALSE(v.post()); // nothing pending

    v.edit();
    p[0].setText("C");
    key = "ONE";
    v.post();
    EXPECT_EQ(v.count(), 4);
    // Edited and posted under a new name: a new item, the old one stays.
    v.edit();
    p[0].setText("D");
    key = "two";
    v.post();
    ASSERT_TRUE(v.findKey("one"));
    v.fetch();
    EXPECT_EQ(p[0].text(), "C");
    ASSERT_TRUE(v.findKey("two"));
    v.fetch();
    EXPECT_EQ(p[0].text(), "D");

    v.insert();
    key = "One";
    EXPECT_EQ(messageOf([&] { v.post(); }), "Duplicate keys are not allowed");
    v.cancel();
    ASSERT_TRUE(v.findKey("two"));
    v.deleteCurrent();
    EXPECT_FALSE(v.findKey("two"));
    // Signature items are not data: they cannot be edited through the panel.
    ASSERT_TRUE(v.findKey("QF.0000"));
    EXPECT_THROW(v.edit(), EQDBNoData);
}

TEST_F(ViewTest, NoKeyHandlerColoursAndExcludedControls) {
    Panel p(ThreeControls);
    p[2].setTag(-999);
    TQDBView v;
    v.bindPanel(p.list);
    EXPECT_EQ(v.controls().size(), 2);
    v.setFileName(file());
    EXPECT_EQ(p[0].colour(), std::optional<quint32>(0xC0C0C0));
    v.insert();
    EXPECT_EQ(p[0].colour(), std::nullopt); // the window colour while editing
    EXPECT_EQ(p[1].colour(), std::nullopt);
    EXPECT_EQ(messageOf([&] { v.post(); }),
              "Cannot store data unless an OnKey handler is assigned");
    v.OnKey = [] { return "k"; };
    v.post();
    EXPECT_EQ(p[0].colour(), std::optional<quint32>(0xC0C0C0));
    ASSERT_TRUE(v.findKey("k"));
    EXPECT_EQ(*qdb::unpackFields(v.currentItem()),
              QList<QByteArray>({QByteArray("\0", 1), QByteArray("\0", 1)}));
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
        EXPECT_TRUE(v.changed());
        v.save();
    }
    {
        TQDB raw;
        raw.setFileName(file());
        QStringList keys;
        raw.listKeys(keys);
        EXPECT_EQ(keys, QStringList({"QF.0000", "QF.0001", "QF.0002"}));
        EXPECT_EQ(raw.readItem(0), QByteArray("\x06.Name.TEdit"));
        EXPECT_EQ(raw.readItem(1), QByteArray("\x06.Notes.TMemo"));
        EXPECT_EQ(raw.readItem(2), QByteArray("\x06.Count.TEdit"));
    }
    // The same panel opens again without any change.
    {
        TQDBView v;
        openView(v, mine);
        EXPECT_FALSE(v.changed());
        v.insert();
        key = "data";
        v.post();
        v.save();
    }
    const QByteArray before = readFile(file());
    {
        TQDBView v;
        EXPECT_EQ(messageOf([&] { openView(v, other); }), "File doesn't match panel");
        EXPECT_FALSE(v.isOpen());
    }
    // A panel with a control fewer does not match either.
    Panel fewer({{"Name", "TEdit", false}, {"Notes", "TMemo", true}});
    TQDBView v;
    EXPECT_THROW(openView(v, fewer), EQDBViewError);
    EXPECT_EQ(readFile(file()), before);
}
