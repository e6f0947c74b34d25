// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SettingsStore.h"
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/SipLine.h"
#include "platform/telephone/SipLocationDialog.h"
#include "platform/telephone/SipSettingsDialog.h"
#include "SipPeers.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <gtest/gtest.h>

using namespace platform;
using sip_peers::DirectLine;
using testing_support::TempFolder;

namespace {

SipLineConfig Account(const QString& identity, const QString& server, const QString& transport = {})
{
    SipLineConfig c;
    c.identity = identity;
    c.server = server;
    c.transport = transport;
    return c;
}

TEST(SipLineSettings, EntriesAreCheckedBeforeUse)
{
    const std::pair<SipLineConfig, bool> rows[] = {
        {Account("sip:alice@example.org", "sip.example.org"), true},
        {Account("sip:alice@example.org:5061", "10.0.0.1:5070", "tcp"), true},
        {Account("alice@example.org", "sip.example.org"), false},
        {Account("sip:@example.org", "sip.example.org"), false},
        {Account("sip:alice@example.org", ""), false},
        {Account("sip:alice@example.org", "sip.example.org:99999"), false},
        {Account("sip:alice@example.org", "sip example.org"), false},
        {Account("sip:alice@example.org", "sip.example.org", "sctp"), false},
        {DirectLine(5070), true},
        {DirectLine(0), false},
        {DirectLine(5070, "127.0.0.1:5080"), true},
        {DirectLine(5070, "127.0.0.1:"), false},
    };
    for (const auto& [config, ok] : rows)
        EXPECT_EQ(config.problem().isEmpty(), ok) << config.identity.toStdString() << " " << config.server.toStdString()
                                                  << " " << config.problem().toStdString();
}

TEST(SipLineSettings, StoredLikeTheMailPasswordAndRemovedEntriesLeaveNothing)
{
    TempFolder folder;
    SettingsStore store(folder.file("settings.ini"));
    SipLineConfig account = Account("sip:alice@example.org", "sip.example.org:5060", "tcp");
    account.user = QStringLiteral("alice7");
    account.password = QStringLiteral("pa ss;word=");
    account.port = 5062;
    const QList<SipLineConfig> lines = {account, DirectLine(5070, "127.0.0.1:5080")};
    ASSERT_TRUE(SaveSipLines(store, lines));
    ASSERT_TRUE(SaveSipDialPrefix(store, QStringLiteral("9")));
    SettingsStore again(folder.file("settings.ini"));
    EXPECT_EQ(LoadSipLines(again), lines);
    EXPECT_EQ(LoadSipDialPrefix(again), QStringLiteral("9"));

    ASSERT_TRUE(SaveSipLines(store, {lines[1]}));
    EXPECT_EQ(LoadSipLines(SettingsStore(folder.file("settings.ini"))), QList<SipLineConfig>{lines[1]});
    EXPECT_FALSE(folder.read("settings.ini").contains("pa ss"));

    store.SaveSetting(QStringLiteral("sipDevices"), QStringLiteral("999999"));
    store.SaveSetting(QStringLiteral("sipDialPrefix"), QStringLiteral("9; rm"));
    EXPECT_LE(LoadSipLines(store).size(), 64);
    EXPECT_EQ(LoadSipDialPrefix(store), QString());
}

// Without any line the dialog is ready for one, and a new entry left as it was is no line.
// Lines are named by identity, server or position, never "SIP " alone; a bad entry is refused
// with a hint; only a line added and selected at OK is chosen.
TEST(SipLineSettingsDialog, AddsNamesAndRemovesEntriesAndChoosesOnlyTheOneAdded)
{
    {
        SipSettingsDialog dialog({}, -1);
        ASSERT_EQ(dialog.list->count(), 1);
        dialog.accept(); // untouched: nothing to refuse, nothing added
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << dialog.messageLabel->text().toStdString();
        EXPECT_TRUE(dialog.lines().isEmpty());
        EXPECT_EQ(dialog.chosenRow(), -1);
    }
    const QList<SipLineConfig> lines = {Account("sip:alice@example.org", "sip.example.org")};
    for (const auto& [identity, server, name] : {std::tuple("", "", "SIP line 2"),
                                                 {"", "pbx.local:5080", "SIP pbx.local:5080"},
                                                 {"sips:bob@example.net", "", "SIP bob@example.net"}}) {
        SipSettingsDialog dialog(lines, 0);
        dialog.addEntry();
        QTest::keyClicks(dialog.identityEdit, QString::fromLatin1(identity));
        QTest::keyClicks(dialog.serverEdit, QString::fromLatin1(server));
        EXPECT_EQ(dialog.list->item(1)->text(), QString::fromLatin1(name));
    }
    SipSettingsDialog dialog(lines, 0);
    QTest::mouseClick(dialog.addButton, Qt::LeftButton);
    dialog.addEntry(); // left untouched, so dropped
    dialog.list->setCurrentRow(1);
    QTest::keyClicks(dialog.identityEdit, QStringLiteral("carol@example.com"));
    QTest::keyClicks(dialog.serverEdit, QStringLiteral("example.com"));
    QTest::keyClicks(dialog.passwordEdit, QStringLiteral("secret"));
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.messageLabel->text().contains(QStringLiteral("sip:user@example.org")))
        << dialog.messageLabel->text().toStdString();
    dialog.identityEdit->clear();
    QTest::keyClicks(dialog.identityEdit, QStringLiteral("sip:carol@example.com"));
    dialog.list->setCurrentRow(0);
    QTest::mouseClick(dialog.removeButton, Qt::LeftButton);
    dialog.list->setCurrentRow(0);
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << dialog.messageLabel->text().toStdString();
    ASSERT_EQ(dialog.lines().size(), 1);
    EXPECT_EQ(dialog.lines()[0].identity, QStringLiteral("sip:carol@example.com"));
    EXPECT_EQ(dialog.lines()[0].password, QStringLiteral("secret"));
    EXPECT_EQ(dialog.chosenRow(), 0);

    SipSettingsDialog edited(lines, 0); // only an edit: the choice stays the user's
    QTest::keyClicks(edited.passwordEdit, QStringLiteral("x"));
    edited.accept();
    EXPECT_EQ(edited.chosenRow(), -1);
}

TEST(SipLineSettingsDialog, ADirectListenerKeepsNoRegistrarOrPassword)
{
    SipLineConfig account = Account("sip:alice@example.org", "sip.example.org");
    account.password = QStringLiteral("secret");
    SipSettingsDialog dialog({account}, 0);
    dialog.kindBox->setCurrentIndex(1);
    EXPECT_EQ(dialog.lines()[0], DirectLine(5060));
    EXPECT_TRUE(dialog.serverEdit->isEnabled()); // now where numbers are dialled
}

// The line's dialogs save to the store; the modem form's owner learns which device a line added
// in the dialog became, in the numbering of every backend's devices.
TEST(SipLineSettingsDialog, TheLinesDialogsSaveAndChooseInTheTablesNumbering)
{
    TempFolder folder;
    SettingsStore store(folder.file("settings.ini"));
    SipLine line({}, &store);
    testing_support::answerNext<SipSettingsDialog>([](SipSettingsDialog* d) {
        d->addEntry();
        d->kindBox->setCurrentIndex(1);
        d->portBox->setValue(5071);
        d->accept();
    });
    line.ShowModemDialog(0);
    EXPECT_EQ(line.DeviceName(0), QStringLiteral("SIP direct port 5071"));
    EXPECT_EQ(LoadSipLines(store), line.lines());
    testing_support::answerNext<SipLocationDialog>([](SipLocationDialog* d) {
        d->prefixEdit->setText(QStringLiteral("0,"));
        d->accept();
        EXPECT_FALSE(d->messageLabel->text().isEmpty());
        d->prefixEdit->setText(QStringLiteral("+1#"));
        d->accept();
    });
    line.ShowLocationDialog(0);
    EXPECT_EQ(line.dialPrefix(), QStringLiteral("+1#"));
    EXPECT_EQ(LoadSipDialPrefix(store), QStringLiteral("+1#"));

    LineDeviceTable table;
    const SipLineConfig first = Account(QStringLiteral("sip:a@example.org"), QStringLiteral("example.org"));
    table.addBackend(std::make_unique<SipLine>(QList<SipLineConfig>{first}));
    table.addBackend(std::make_unique<SipLine>(QList<SipLineConfig>{first, first}));
    ModemControl control(table);
    testing_support::answerNext<SipSettingsDialog>([](SipSettingsDialog* d) {
        d->addEntry();
        QTest::keyClicks(d->identityEdit, QStringLiteral("sip:b@example.org"));
        QTest::keyClicks(d->serverEdit, QStringLiteral("example.org"));
        d->accept();
    });
    control.ShowModemDialog(2, nullptr); // the second backend's second line
    EXPECT_EQ(control.ChosenDevice(), 3);
    EXPECT_EQ(control.DeviceName(3), QStringLiteral("SIP b@example.org"));
    testing_support::answerNext<SipSettingsDialog>([](SipSettingsDialog* d) { d->reject(); });
    control.ShowModemDialog(0, nullptr);
    EXPECT_EQ(control.ChosenDevice(), -1);
}

} // namespace
