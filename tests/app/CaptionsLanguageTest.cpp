// SPDX-License-Identifier: GPL-3.0-or-later
// On a Chinese system no window of the program shows an English text.
#include "AppFixture.h"

#include "app/frmCapDev.h"
#include "app/frmLogin.h"
#include "app/frmNotes.h"
#include "app/frmSimPhone.h"
#include "platform/SystemLocale.h"
#include "platform/telephone/SipLocationDialog.h"
#include "platform/telephone/SipSettingsDialog.h"

namespace {

// A text is English when it has no Chinese and, without names, numbers and addresses, still
// has a word of Latin letters.
bool LooksEnglish(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() >= 0x2E80)
            return false;
    QString rest = text;
    static const QRegularExpression addresses(QStringLiteral(R"(\S*[.@/\d]\S*[A-Za-z0-9]|\S*\d\S*)"));
    static const QRegularExpression names(
        QStringLiteral(R"(\b(Korvalen|SIP|POP3|SMTP|PIN|PBX|udp|tcp|tls|FileName)\b)"));
    rest.remove(addresses).remove(names);
    return rest.contains(QRegularExpression(QStringLiteral("[A-Za-z]{2,}")));
}

// Every caption, tool-tip, title and hint of a window and its children; the items of its lists
// when they are the program's own.
QStringList Texts(QWidget* root, bool listItems = false)
{
    QStringList texts{root->windowTitle()};
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    for (QWidget* w : widgets << root) {
        for (const char* property : {"toolTip", "title", "placeholderText"})
            texts << w->property(property).toString();
        if (qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w))
            texts << w->property("text").toString();
        else if (auto* p = qobject_cast<QPlainTextEdit*>(w); p && p->isReadOnly())
            texts << p->toPlainText();
        auto* combo = listItems ? qobject_cast<QComboBox*>(w) : nullptr;
        for (int i = 0; combo && i < combo->count(); ++i)
            texts << combo->itemText(i);
        auto* list = listItems ? qobject_cast<QListWidget*>(w) : nullptr;
        for (int i = 0; list && i < list->count(); ++i)
            texts << list->item(i)->text();
    }
    return texts;
}

} // namespace

TEST_F(AppTest, OnAChineseSystemNoWindowShowsEnglish)
{
    for (int lcid : {1028, 2052}) {
        SCOPED_TRACE(lcid);
        platform::SetSystemLcidOverride(lcid);
        markFirstRunDone();
        frmSet& w = start();
        w.CheckMailTimer_Timer(); // the countdown in the status bar
        QStringList texts = Texts(&w);
        texts << w.panelText(1) << w.panelText(2);
        for (int column = 0; column < 3; ++column)
            texts << w.listModel->headerData(column, Qt::Horizontal).toString();
        texts << Texts(w.simPhone());

        frmCapDev& wizard = *w.wizard();
        wizard.Form_Load();
        texts << Texts(&wizard);
        wizard.txtEmailUID->setText("alice");
        wizard.txtEmailPw->setText("pw");
        wizard.txtPopServer->setText("pop.example.org");
        for (int page = 0; page < frmCapDev::kPages - 1; ++page)
            wizard.OKButton_Click(0);
        ASSERT_EQ(wizard.page(), frmCapDev::kPages - 1);
        texts << Texts(&wizard);
        wizard.txtEmailUID->clear();
        wizard.Form_Load();
        wizard.txtEmailUID->clear();
        wizard.OKButton_Click(0);
        wizard.OKButton_Click(0); // refused: the blank fields are named
        texts << wizard.lblProblem->text();

        frmLogin agreement;
        texts << Texts(&agreement);
        frmNotes notes;
        texts << Texts(&notes);

        platform::SipSettingsDialog lines({}, -1);
        texts << Texts(&lines, true);
        lines.kindBox->setCurrentIndex(1);
        texts << Texts(&lines, true);
        lines.portBox->setValue(0);
        lines.accept();
        texts << lines.messageLabel->text();
        platform::SipLocationDialog location{QString()};
        location.prefixEdit->setText("0,");
        location.accept();
        texts << Texts(&location);

        texts.removeIf([](const QString& t) { return !LooksEnglish(t); });
        EXPECT_EQ(texts, QStringList());
        window.reset();
    }
}
