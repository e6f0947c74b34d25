// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/telephone/LineDevices.h"
#include "platform/telephone/SipLine.h"
#include "platform/telephone/SipSettingsDialog.h"
#include "SipPeers.h"
#include "TestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTest>
#include <gtest/gtest.h>

using namespace platform;
using namespace sip_peers;

namespace {

SipLineConfig Account(const QString& identity, const QString& server, const QString& password = {})
{
    SipLineConfig c;
    c.identity = identity;
    c.server = server;
    c.password = password;
    return c;
}

// Without any line the dialog is ready for one; a new entry left as it was is no line.
TEST(SipLineSettingsDialog, OpensOnANewAccountWhenThereIsNoLine)
{
    {
        SipSettingsDialog dialog({}, -1);
        ASSERT_EQ(dialog.list->count(), 1);
        dialog.accept(); // untouched: nothing to refuse, nothing added
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << dialog.messageLabel->text().toStdString();
        EXPECT_TRUE(dialog.lines().isEmpty());
        EXPECT_EQ(dialog.chosenRow(), -1);
    }
    SipSettingsDialog dialog({}, -1);
    QTest::keyClicks(dialog.serverEdit, QStringLiteral("sip.example.org"));
    QTest::keyClicks(dialog.identityEdit, QStringLiteral("sip:alice@example.org"));
    dialog.accept();
    ASSERT_EQ(dialog.lines().size(), 1);
    EXPECT_EQ(dialog.chosenRow(), 0);
}

// Lines are named by identity, server or position, never "SIP " alone; only a line added
// and selected at OK is chosen.
TEST(SipLineSettingsDialog, NamesNewLinesAndChoosesTheOneAdded)
{
    const QList<SipLineConfig> lines = {Account("sip:alice@example.org", "sip.example.org")};
    struct Row
    {
        const char* identity;
        const char* server;
        const char* name;
    };
    for (const Row& row : {Row{"", "", "SIP line 2"}, Row{"", "pbx.local:5080", "SIP pbx.local:5080"},
                           Row{"sips:bob@example.net", "", "SIP bob@example.net"}}) {
        SipSettingsDialog dialog(lines, 0);
        dialog.addEntry();
        QTest::keyClicks(dialog.identityEdit, QString::fromLatin1(row.identity));
        QTest::keyClicks(dialog.serverEdit, QString::fromLatin1(row.server));
        EXPECT_EQ(dialog.list->item(1)->text(), QString::fromLatin1(row.name));
    }
    SipSettingsDialog dialog(lines, 0);
    dialog.addEntry();
    dialog.addEntry(); // left untouched, so dropped
    dialog.list->setCurrentRow(1);
    QTest::keyClicks(dialog.identityEdit, QStringLiteral("sip:carol@example.com"));
    QTest::keyClicks(dialog.serverEdit, QStringLiteral("example.com"));
    dialog.accept();
    ASSERT_EQ(dialog.lines().size(), 2);
    EXPECT_EQ(dialog.chosenRow(), 1);

    SipSettingsDialog edited(lines, 0); // only an edit: the choice stays the user's
    QTest::keyClicks(edited.passwordEdit, QStringLiteral("x"));
    edited.accept();
    EXPECT_EQ(edited.chosenRow(), -1);
}

TEST(SipLineSettingsDialog, ADirectListenerKeepsNoRegistrarOrPassword)
{
    SipSettingsDialog dialog({Account("sip:alice@example.org", "sip.example.org", "secret")}, 0);
    dialog.kindBox->setCurrentIndex(1);
    const SipLineConfig c = dialog.lines()[0];
    EXPECT_EQ(c.kind, SipLineConfig::Kind::Direct);
    EXPECT_EQ(c.password, QString());
    EXPECT_EQ(c.server, QString());
    EXPECT_EQ(c.identity, QString());
    EXPECT_EQ(c.port, 5060);
    EXPECT_TRUE(dialog.serverEdit->isEnabled()); // now where numbers are dialled
}

// A direct listener dials plain numbers at its target host; without one an alert call fails
// and says so.
TEST(SipLineDirect, APlainNumberWithoutATargetHostFailsWithTheReason)
{
    SipLineConfig direct;
    direct.kind = SipLineConfig::Kind::Direct;
    direct.port = ListenerPort();
    SipLine line({direct});
    QStringList errors, status;
    QObject::connect(&line, &VoiceModem::Error, &line, [&](int, const QString& text) { errors << text; });
    QObject::connect(&line, &VoiceModem::LineStatus, &line, [&](const QString& text) { status << text; });
    line.OpenDevice(0, true, false);
    ASSERT_EQ(line.LineState(), 0);
    EXPECT_EQ(line.MakeCall({}, {}, QStringLiteral("555 0100"), false), QStringLiteral("Bad Number"));
    ASSERT_TRUE(testing_support::waitUntil([&] { return !errors.isEmpty(); }, 2000));
    EXPECT_TRUE(errors[0].contains(QStringLiteral("no target host"))) << errors[0].toStdString();
    EXPECT_TRUE(errors[0].contains(QStringLiteral("Server or target host")));
    EXPECT_EQ(status.value(0), QStringLiteral("SIP direct port %1: listening for calls.").arg(direct.port));
}

// The modem form's owner learns which device a line added in the dialog became, in the
// numbering of every backend's devices.
TEST(SipLineDevices, ALineAddedInTheDialogIsChosenInTheTablesNumbering)
{
    LineDeviceTable table;
    SipLineConfig first = Account(QStringLiteral("sip:a@example.org"), QStringLiteral("example.org"));
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
