#include "AppFixture.h"

#include "app/frmCapDev.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSlider>

namespace {

void leave(QLineEdit* edit)
{
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(edit, &out);
}

struct FakeController : CallControllerLink
{
    QList<int>* rings;
    QList<bool>* logging;
    QList<bool>* autoAnswer;
    bool CallInProgress() const override { return false; }
    bool SpeechDone() const override { return true; }
    void SetAutoAnswer(bool on) override { *autoAnswer << on; }
    void SetLogging(bool on) override { *logging << on; }
    void SetRingsToAnswer(int n) override { *rings << n; }
};

} // namespace

TEST_F(AppTest, EditedValuesAreWrittenOnExitAndReadAtTheNextStart)
{
    markFirstRunDone();
    frmSet& w = start();
    w.Text3->setText("s3cret!");
    w.Text7->setText("45");
    w.Check[4]->setChecked(false);
    w.Text15->setPlainText("Away, back on Monday.");
    w.RateSldr->setValue(-4);
    EXPECT_TRUE(store->written.isEmpty()); // nothing is written while the program runs
    w.Form_Unload();

    EXPECT_EQ(store->written,
              QStringList({"EmailUID", "EmailPw", "popserver", "popport", "smtpserver", "smtpport", "Emailvoicefile",
                           "Emailcount", "autoreplymessage", "autoreplycheck", "minute", "logcheck", "toolTips",
                           "voicecall", "AutoAnsCheck", "voicemodem0", "ringsAnswer", "phone1", "repeatvoice",
                           "hangupTime", "PhonePin", "VoiceName", "Sounddevice", "SoundVolume", "SoundRate"}));
    EXPECT_EQ(stored("Sounddevice"), "-1");

    window.reset();
    instance = std::make_unique<platform::SingleInstance>(profile.file("lock"));
    frmSet& again = start();
    EXPECT_EQ(again.Text3->text(), "s3cret!");
    EXPECT_EQ(again.Text7->text(), "45");
    EXPECT_FALSE(again.Check[4]->isChecked());
    EXPECT_EQ(again.Text15->toPlainText(), "Away, back on Monday.");
    EXPECT_EQ(again.RateSldr->value(), -4);
}

TEST_F(AppTest, DamagedStoredNumbersFallBackToTheFieldDefaults)
{
    markFirstRunDone();
    const std::pair<const char*, const char*> damaged[] = {
        {"popport", "abc"}, {"smtpport", "70000"}, {"minute", "5"},  {"ringsAnswer", ""},
        {"hangupTime", "1e9"}, {"repeatvoice", "-3"}, {"Emailcount", "100"}, {"autoreplycheck", "yes"},
        {"voicemodem0", "junk"}, {"SoundRate", "\x01\x02"},
    };
    for (auto [key, value] : damaged)
        store->SaveSetting(key, value);
    frmSet& w = start();
    EXPECT_EQ(w.Text5->text(), "110");
    EXPECT_EQ(w.Text16->text(), "25");
    EXPECT_EQ(w.Text7->text(), "60");
    EXPECT_EQ(w.txtRingsToAnswer->text(), "2");
    EXPECT_EQ(w.Text13->text(), "10");
    EXPECT_EQ(w.Text10->text(), "16");
    EXPECT_EQ(w.Text6->text(), "1");
    EXPECT_FALSE(w.Check[0]->isChecked());
    EXPECT_EQ(w.RateSldr->value(), 3);
}

TEST_F(AppTest, NumberFieldsAreCheckedWhenLeft)
{
    markFirstRunDone();
    frmSet& w = start();
    struct Row { QLineEdit* field; const char* typed; const char* shown; };
    const Row rows[] = {
        {w.Text7, "5", "60"},          {w.Text7, "45", "45"},       {w.Text7, "", "60"},
        {w.Text16, "65536", "65536"},  {w.Text16, "65537", "25"},   {w.Text5, "10000", "110"},
        {w.Text10, "1", "16"},         {w.Text13, "61", "10"},
        {w.Text5, "0000000110", "0000000110"}, // only the first eight characters are judged
    };
    for (const Row& row : rows) {
        row.field->setText(row.typed);
        leave(row.field);
        EXPECT_EQ(row.field->text(), row.shown) << row.typed;
    }
}

TEST_F(AppTest, TheControllerFollowsRingsLoggingAndAutoAnswer)
{
    markFirstRunDone();
    QList<int> rings;
    QList<bool> logging, autoAnswer;
    frmSetParts parts;
    parts.callController = [&] {
        auto c = std::make_unique<FakeController>();
        c->rings = &rings;
        c->logging = &logging;
        c->autoAnswer = &autoAnswer;
        return c;
    };
    frmSet& w = start(parts);
    EXPECT_EQ(rings, QList<int>{2});
    EXPECT_EQ(autoAnswer.last(), true);
    EXPECT_EQ(logging.last(), false);
    w.txtRingsToAnswer->setText("0");
    leave(w.txtRingsToAnswer);
    EXPECT_EQ(rings.last(), 2);
    w.txtRingsToAnswer->setText("5");
    leave(w.txtRingsToAnswer);
    EXPECT_EQ(rings.last(), 5);
    w.Check[1]->click();
    EXPECT_EQ(logging.last(), true);
    w.Check[5]->click();
    EXPECT_EQ(autoAnswer.last(), false);
}

TEST_F(AppTest, OnlyThePinTakesDigitsOnlyAndEnterWalksTheAccountFields)
{
    markFirstRunDone();
    frmSet& w = start();
    w.Pin->clear();
    QTest::keyClicks(w.Pin, "12a-3");
    EXPECT_EQ(w.Pin->text(), "123");
    w.Text3->clear();
    QTest::keyClicks(w.Text3, "p@ss W0rd");
    EXPECT_EQ(w.Text3->text(), "p@ss W0rd");
    w.wizard()->txtLoginPw->clear();
    QTest::keyClicks(w.wizard()->txtLoginPw, "40x71");
    EXPECT_EQ(w.wizard()->txtLoginPw->text(), "4071");

    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QLineEdit* order[] = {w.Text2, w.Text3, w.Text4, w.Text5, w.txtEmailServer};
    order[0]->setFocus();
    for (int i = 0; i + 1 < 5; ++i) {
        QTest::keyClick(order[i], Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), order[i + 1]) << i;
    }
    // Keys that steer the window still work in a digits-only field.
    w.Pin->setFocus();
    QTest::keyClick(w.Pin, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), w.Pin);
}

TEST_F(AppTest, AStoreThatCannotBeWrittenIsReportedAndMayBeRetried)
{
    markFirstRunDone();
    frmSet& w = start();
    w.Text4->setText("pop.kept.example");
    // The settings file's folder turns into a regular file: nothing can be written.
    const QString file = profile.file("settings.ini");
    QFile::rename(file, profile.file("settings.bak"));
    QDir().mkpath(file); // a folder where the file should be
    int asked = 0;
    w.askRetry = [&](const QString& message) {
        ++asked;
        EXPECT_TRUE(message.contains("popserver")) << message.toStdString();
        EXPECT_TRUE(message.contains(file)) << message.toStdString();
        QDir().rmdir(file); // the user mends it, then retries
        return asked == 1;
    };
    w.Form_Unload();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(stored("popserver"), "pop.kept.example");
}

TEST_F(AppTest, ReloadSettingPicksTheStoredModem)
{
    markFirstRunDone();
    frmSetParts parts;
    parts.lineDevices = [] { return QStringList{"Line A", "Line B"}; };
    store->SaveSetting("voicemodem0", "1");
    frmSet& w = start(parts);
    EXPECT_EQ(w.modembox->currentText(), "Line B");
    EXPECT_EQ(w.wizard()->cboModem->count(), 2);
    EXPECT_FALSE(w.wizard()->skipTelephone);

    store->SaveSetting("voicemodem0", "5"); // beyond the list: unchanged
    w.ReloadSetting();
    EXPECT_EQ(w.modembox->currentIndex(), 1);
    store->SaveSetting("voicemodem0", "-1");
    w.ReloadSetting();
    EXPECT_EQ(w.modembox->currentIndex(), -1);
    EXPECT_EQ(w.modembox->placeholderText(), "Select Modem");
}
