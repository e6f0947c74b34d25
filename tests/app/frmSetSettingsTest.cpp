// SPDX-License-Identifier: GPL-3.0-or-later
#include "AppFixture.h"

#include "app/frmCapDev.h"
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/ScriptedLine.h"
#include "telephony/ClsAudioControl.h"

namespace {

void type(QLineEdit* edit, const QString& text)
{
    edit->setText(text);
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(edit, &out);
}

} // namespace

// A store that refuses is reported, and the user may mend it and retry.
TEST_F(AppTest, EditedValuesAreWrittenOnExitEvenAfterARefusalAndReadAtTheNextStart)
{
    markFirstRunDone();
    frmSet& w = start();
    w.Text2->setText("alice");
    w.Text3->setText("s3cret!");
    w.Text4->setText("pop.example.org");
    w.Text7->setText("45");
    w.Check[4]->setChecked(false);
    w.Text15->setPlainText("Away, back on Monday.");
    w.txtReplyDays->setText("14");
    w.RateSldr->setValue(-4);
    EXPECT_TRUE(store->written.isEmpty()); // nothing is written while the program runs
    const QString file = profile.file("settings.ini");
    QFile::remove(file);
    QDir().mkpath(file); // a folder where the file should be: nothing can be written
    int asked = 0;
    w.askRetry = [&](const QString& message) {
        EXPECT_TRUE(message.contains("popserver") && message.contains(file)) << message.toStdString();
        QDir().rmdir(file);
        return ++asked == 1;
    };
    w.Form_Unload();
    EXPECT_EQ(asked, 1);
    ASSERT_EQ(store->written.size(), 62); // every setting, then every setting again
    EXPECT_EQ(store->written.mid(0, 31), store->written.mid(31));
    EXPECT_EQ(stored("Sounddevice"), "-1");

    markFirstRunDone();
    window.reset();
    frmSet& again = start();
    EXPECT_EQ(QStringList({again.Text3->text(), again.Text4->text(), again.Text7->text(), again.Text15->toPlainText(),
                           again.txtReplyDays->text(), QString::number(again.RateSldr->value())}),
              QStringList({"s3cret!", "pop.example.org", "45", "Away, back on Monday.", "14", "-4"}));
    EXPECT_FALSE(again.Check[4]->isChecked());
}

// A number stored or typed out of range shows the field's default; only eight characters are
// judged, except in a port field, which holds a port as a whole or nothing.
TEST_F(AppTest, NumberFieldsFallBackToTheirDefaultsWhenStoredOrLeft)
{
    markFirstRunDone();
    const struct
    {
        const char* key;
        QLineEdit* frmSet::*field;
        const char *value, *shown;
    } rows[] = {
        {"popport", &frmSet::Text5, "abc", "110"},
        {"popport", &frmSet::Text5, "0", "110"},
        {"popport", &frmSet::Text5, "65535", "65535"},
        {"smtpport", &frmSet::Text16, "65536", "25"},
        {"smtpport", &frmSet::Text16, "1", "1"},
        {"popport", &frmSet::Text5, "0000011099999", "110"},
        {"minute", &frmSet::Text7, "5", "60"},
        {"hangupTime", &frmSet::Text13, "61", "10"},
        {"repeatvoice", &frmSet::Text10, "1", "16"},
        {"Emailcount", &frmSet::Text6, "100", "1"},
        {"hangupTime", &frmSet::Text13, "0000001099", "0000001099"},
        {"autoreplydays", &frmSet::txtReplyDays, "366", "7"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.key) + "=" + row.value);
        store->SaveSetting(row.key, row.value);
        frmSet& w = start();
        EXPECT_EQ((w.*row.field)->text(), row.shown);
        type(w.*row.field, row.value);
        EXPECT_EQ((w.*row.field)->text(), row.shown);
    }
    store->SaveSetting("autoreplycheck", "yes");
    EXPECT_FALSE(start().Check[0]->isChecked());
}

TEST_F(AppTest, TheLineAndTheControllerFollowTheTelephoneSettings)
{
    markFirstRunDone();
    auto& table = platform::LineDeviceTable::instance();
    auto* line = static_cast<platform::ScriptedLine*>(
        table.addBackend(std::make_unique<platform::ScriptedLine>(QStringList{"Line A (data)", "Line B"})));
    store->SaveSetting("voicemodem0", "1");
    store->SaveSetting("AutoAnsCheck", "1");
    frmSet& w = start();
    EXPECT_EQ(w.modembox->currentText(), "Line B");
    // The wizard lists the lines as the window does, the data line greyed.
    const auto* wizardLines = qobject_cast<QStandardItemModel*>(w.wizard()->cboModem->model());
    EXPECT_EQ(std::pair(wizardLines->item(0)->isEnabled(), wizardLines->item(1)->isEnabled()), std::pair(false, true));
    EXPECT_EQ(line->operations().filter("open"), QStringList{"open 1 auto"}) << "the stored line is opened at start";
    // The shipped PIN keeps the line to callers on this computer until the user sets one.
    EXPECT_EQ(line->operations().last(), "local callers only");
    w.Pin->setText("2468");
    EXPECT_EQ(line->operations().last(), "any callers");
    EXPECT_EQ(w.panelText(1), "Voice Modem");
    for (auto [value, index] : {std::pair{"5", 1}, {"-1", -1}}) { // beyond the list: unchanged
        store->SaveSetting("voicemodem0", value);
        w.ReloadSetting();
        EXPECT_EQ(w.modembox->currentIndex(), index);
    }
    w.modembox->setCurrentIndex(0); // listed, but no voice
    EXPECT_EQ(w.panelText(1), "Modem Not Voice Capable");

    telephony::ClsAudioControl* c = w.audioControl();
    EXPECT_EQ(std::pair(int(c->RingsToAnswer), c->AutoAnswer), std::pair(2, true));
    type(w.txtRingsToAnswer, "0"); // out of range: the default again
    EXPECT_EQ(c->RingsToAnswer, 2);
    type(w.txtRingsToAnswer, "5");
    w.Check[5]->click();
    EXPECT_EQ(std::pair(int(c->RingsToAnswer), c->AutoAnswer), std::pair(5, false));
    table.clear();
}

TEST_F(AppTest, OnlyThePinTakesDigitsOnlyAndEnterWalksTheAccountFields)
{
    markFirstRunDone();
    frmSet& w = start();
    const std::tuple<QLineEdit*, const char*, const char*> rows[] = {
        {w.Pin, "12a-3", "123"}, {w.Text3, "p@ss W0rd", "p@ss W0rd"}, {w.wizard()->txtLoginPw, "40x71", "4071"}};
    for (auto [field, typed, shown] : rows) {
        field->clear();
        QTest::keyClicks(field, typed);
        EXPECT_EQ(field->text(), shown);
    }
    w.show();
    QApplication::setActiveWindow(&w);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    QLineEdit* order[] = {w.Text2, w.Text3, w.Text4, w.Text5, w.txtEmailServer};
    order[0]->setFocus();
    for (int i = 0; i + 1 < 5; ++i) {
        QTest::keyClick(order[i], Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), order[i + 1]) << i;
    }
    // The shipped PIN is known to all: until the user sets one of their own, the page says the
    // line is for this computer's callers only.
    for (auto [pin, guarded] : {std::pair{"4071", true}, {"", true}, {"2468", false}, {"12345678", false}}) {
        w.Pin->setText(pin);
        EXPECT_EQ(w.pinNote_->isHidden(), !guarded) << pin;
    }
    w.Pin->setText("123456789012");
    EXPECT_EQ(w.Pin->text(), "12345678"); // eight digits at the most
    w.Pin->setFocus(); // keys that steer the window still work in a digits-only field
    QTest::keyClick(w.Pin, Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), w.Pin);
}

// A check cannot do without the POP3 server, user and password: a blank one is named to the
// user when left, and never saved over the account the store holds.
TEST_F(AppTest, BlankAccountFieldsAreNamedWhenLeftAndNotSavedOverTheStoredAccount)
{
    for (auto [key, value] : {std::pair{"EmailUID", "alice"}, {"EmailPw", "secret"}, {"popserver", "pop.old.example"}})
        store->SaveSetting(key, value);
    markFirstRunDone();
    frmSet& w = start();
    auto leave = [](QLineEdit* edit, Qt::FocusReason reason) {
        QFocusEvent out(QEvent::FocusOut, reason);
        QApplication::sendEvent(edit, &out);
        QCoreApplication::processEvents();
    };
    w.Text4->selectAll();
    QTest::keyClicks(w.Text4, "  ");
    leave(w.Text4, Qt::ActiveWindowFocusReason); // another window, not another field
    EXPECT_TRUE(problems.isEmpty());
    leave(w.Text4, Qt::TabFocusReason);
    EXPECT_EQ(problems, QStringList({"Enter the POP3 server: mail cannot be checked without it."}));
    EXPECT_EQ(w.Text4->text(), "  "); // as typed
    leave(w.Text4, Qt::TabFocusReason); // told once for each edit
    leave(w.Text2, Qt::TabFocusReason); // not edited
    EXPECT_EQ(problems.size(), 1);

    problems.clear();
    w.Text3->clear();
    w.Form_Unload();
    EXPECT_EQ(problems, QStringList({"Enter the POP3 password and server: mail cannot be checked without them. "
                                     "What was saved before is kept."}));
    EXPECT_FALSE(store->written.contains("EmailPw") || store->written.contains("popserver"));
    EXPECT_EQ(store->written.size(), 29); // everything else
    EXPECT_EQ(stored("popserver"), "pop.old.example");
    EXPECT_EQ(stored("EmailPw"), "secret");
}
