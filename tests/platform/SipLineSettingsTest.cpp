// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SettingsStore.h"
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/SipLine.h"
#include "platform/telephone/SipLocationDialog.h"
#include "platform/telephone/SipSettingsDialog.h"
#include "SipPeers.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QLineEdit>
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

// The line's dialogs save to the store (a listener keeps no account's password); the modem
// form's owner learns which device a line added in the dialog became, in the numbering of every
// backend's devices.
TEST(SipLineSettingsDialog, TheLinesDialogsSaveAndChooseInTheTablesNumbering)
{
    TempFolder folder;
    SettingsStore store(folder.file("settings.ini"));
    SipLine line({}, &store);
    testing_support::answerNext<SipSettingsDialog>([](SipSettingsDialog* d) {
        d->addEntry();
        QTest::keyClicks(d->identityEdit, QStringLiteral("sip:alice@example.org"));
        QTest::keyClicks(d->serverEdit, QStringLiteral("sip.example.org"));
        QTest::keyClicks(d->passwordEdit, QStringLiteral("secret"));
        d->kindBox->setCurrentIndex(1); // a direct listener keeps no registrar or password
        d->portBox->setValue(5071);
        d->accept();
    });
    line.ShowModemDialog(0);
    EXPECT_EQ(line.lines(), QList{DirectLine(5071)});
    EXPECT_EQ(LoadSipLines(store), line.lines());
    testing_support::answerNext<SipLocationDialog>([](SipLocationDialog* d) {
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
