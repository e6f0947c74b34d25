// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's controls and their layout.
#include "app/frmSet.h"

#include "app/frmSimPhone.h"
#include "mail/MailList.h"
#include "telephony/ClsAudioControl.h"

#include "app/FieldFilters.h"
#include "app/SettingKeys.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

namespace {

QLineEdit* numberField(QWidget* parent, const keys::Range& range, std::function<void(int)> onValidated = {})
{
    auto* edit = new QLineEdit(parent);
    edit->setMaximumWidth(90);
    fields::NumberRange(edit, range.min, range.max, range.byDefault, std::move(onValidated));
    return edit;
}

QLineEdit* portField(QWidget* parent, int byDefault)
{
    auto* edit = new QLineEdit(parent);
    edit->setMaximumWidth(90);
    fields::Port(edit, byDefault);
    return edit;
}

} // namespace

void frmSet::buildWindow()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);

    for (int i = 0; i < kGeneralLabels; ++i)
        GLabel[i] = new QLabel(central);
    for (int i = 0; i < kCheckBoxes; ++i) {
        Check[i] = new QCheckBox(central);
        connect(Check[i], &QCheckBox::toggled, this, [this, i] { Check_Click(i); });
    }
    Check[3]->hide(); // boxes 3 and 6 hold no setting
    Check[6]->hide();
    for (QLabel*& l : extraLabels_)
        l = new QLabel(central);

    auto* menu = new QVBoxLayout;
    for (int i = 0; i < kMenuButtons; ++i) {
        Amenu[i] = new QPushButton(central);
        Amenu[i]->setMinimumWidth(130);
        connect(Amenu[i], &QPushButton::clicked, this, [this, i] { Amenu_Click(i); });
        menu->addWidget(Amenu[i]);
    }
    menu->addStretch();

    QWidget* pages[kPages] = {buildAccountPage(), buildCheckingPage(), buildTelephonePage(), buildSpeechPage(),
                              buildSpamPage(),    buildMailboxPage(),  buildActionPage()};
    auto* pageArea = new QVBoxLayout;
    for (int i = 0; i < kPages; ++i) {
        frame[i] = static_cast<QGroupBox*>(pages[i]);
        if (i < 6)
            pageArea->addWidget(frame[i], 1);
    }

    auto* top = new QHBoxLayout;
    top->addLayout(menu);
    top->addLayout(pageArea, 1);
    auto* layout = new QVBoxLayout(central);
    layout->addLayout(top, 1);
    layout->addWidget(frame[6]);

    for (int i = 0; i < 2; ++i) {
        panels_[i] = new QLabel(this);
        panels_[i]->setMinimumWidth(i == 0 ? 200 : 260);
        statusBar()->addWidget(panels_[i], i);
    }
    failurePanel_ = new QLabel(this);
    // Red through the palette: a style sheet would bring the style-sheet engine into the start.
    QPalette red = failurePanel_->palette();
    red.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x20));
    failurePanel_->setPalette(red);
    failurePanel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    statusBar()->addPermanentWidget(failurePanel_, 1);
    statusBar()->addPermanentWidget(trustButton); // made with the account page
    statusBar()->setSizeGripEnabled(false);

    CheckMailTimer = new QTimer(this);
    CheckMailTimer->setInterval(1000);
    connect(CheckMailTimer, &QTimer::timeout, this, &frmSet::CheckMailTimer_Timer);
    QuitWatch = new QTimer(this);
    QuitWatch->setInterval(250);
    connect(QuitWatch, &QTimer::timeout, this, &frmSet::quitIfAsked);
    ObjAudioReload = new QTimer(this);
    ObjAudioReload->setInterval(4000);
    ObjAudioReload->setSingleShot(true);
    connect(ObjAudioReload, &QTimer::timeout, this, &frmSet::ObjAudioReload_Timer);
    VoiceTimeout = new QTimer(this);
    VoiceTimeout->setInterval(1000);

    // The mail engine's time-out timers, lent to it (one tick a second); the sockets come later.
    PopTimer = new QTimer(this);
    PopTimer->setInterval(1000);
    SmtpTimer = new QTimer(this);
    SmtpTimer->setInterval(1000);

    resize(820, 560);
}

QWidget* frmSet::buildAccountPage()
{
    auto* page = new QGroupBox(this);
    auto* grid = new QGridLayout(page);
    Text2 = new QLineEdit(page);
    Text3 = new QLineEdit(page);
    Text3->setEchoMode(QLineEdit::Password);
    Text4 = new QLineEdit(page);
    Text5 = portField(page, keys::popportRange.byDefault);
    txtEmailServer = new QLineEdit(page);
    Text16 = portField(page, keys::smtpportRange.byDefault);
    QWidget* fieldsInOrder[] = {Text2, Text3, Text4, Text5, txtEmailServer, Text16};
    for (int i = 0; i < 6; ++i) {
        grid->addWidget(GLabel[i], i, 0);
        grid->addWidget(fieldsInOrder[i], i, 1);
    }
    // Enter walks through the account fields in this order.
    for (QLineEdit* e : {Text2, Text3, Text4, Text5, txtEmailServer})
        fields::EnterMovesOn(e);
    for (int i = 0; i + 1 < 6; ++i)
        setTabOrder(fieldsInOrder[i], fieldsInOrder[i + 1]);
    // A check cannot do without these: the user hears of a blank one on leaving it.
    for (QLineEdit* e : {Text2, Text3, Text4})
        fields::Required(e, [this](QLineEdit* blank) {
            QTimer::singleShot(0, blank, [this, blank] {
                if (!blank->text().trimmed().isEmpty())
                    return;
                reportProblem(fields::BlankAccountFields(Text2, Text3, Text4).message);
                if (blank->isVisible())
                    blank->setFocus();
            });
        });
    buildSecurityRows(grid, 6);
    grid->setRowStretch(10, 1);
    grid->setColumnStretch(1, 1);
    return page;
}

QWidget* frmSet::buildCheckingPage()
{
    auto* page = new QGroupBox(this);
    auto* grid = new QGridLayout(page);
    Text7 = numberField(page, keys::minuteRange);
    Text6 = numberField(page, keys::EmailcountRange);
    Text15 = new QPlainTextEdit(page);
    Text15->setMaximumHeight(80);
    Text1 = new QLineEdit(page);
    grid->addWidget(GLabel[6], 0, 0);
    grid->addWidget(Text7, 0, 1);
    grid->addWidget(GLabel[7], 1, 0);
    grid->addWidget(Text6, 1, 1);
    txtReplyDays = numberField(page, keys::autoreplydaysRange);
    lblReplyDays = new QLabel(page);
    auto* replyRow = new QHBoxLayout;
    replyRow->addWidget(Check[0]);
    replyRow->addStretch(1);
    replyRow->addWidget(lblReplyDays);
    replyRow->addWidget(txtReplyDays);
    grid->addLayout(replyRow, 2, 0, 1, 2);
    grid->addWidget(GLabel[8], 3, 0);
    grid->addWidget(Text15, 3, 1);
    grid->addWidget(GLabel[9], 4, 0);
    grid->addWidget(Text1, 4, 1);
    grid->addWidget(Check[1], 5, 0, 1, 2);
    Label33 = new QLabel(page);
    auto* speakRow = new QHBoxLayout;
    speakRow->addWidget(Check[2]);
    speakRow->addWidget(Label33, 1);
    grid->addLayout(speakRow, 6, 0, 1, 2);
    Check[2]->setToolTip(QString()); // its caption shows beside it
    notifyCheck = new QCheckBox(page);
    grid->addWidget(notifyCheck, 7, 0, 1, 2);
    grid->setRowStretch(8, 1);
    grid->setColumnStretch(1, 1);
    return page;
}

QWidget* frmSet::buildTelephonePage()
{
    auto* page = new QGroupBox(this);
    auto* grid = new QGridLayout(page);
    modembox = new QComboBox(page);
    lblNoLine = new QLabel(page);
    lblNoLine->setWordWrap(true);
    lblNoLine->hide();
    Text9 = new QLineEdit(page);
    fields::Dialable(Text9);
    txtRingsToAnswer = numberField(page, keys::ringsAnswerRange, [this](int rings) {
        if (ObjAudio)
            ObjAudio->RingsToAnswer = int16_t(rings);
    });
    Pin = new QLineEdit(page);
    Pin->setMaximumWidth(90);
    Pin->setMaxLength(8); // the voice menu takes eight digits at the most
    pinNote_ = new QLabel(page);
    pinNote_->setWordWrap(true);
    connect(Pin, &QLineEdit::textChanged, this, &frmSet::applyPinGuard);
    fields::DigitsOnly(Pin);
    Text13 = numberField(page, keys::hangupTimeRange);
    Text10 = numberField(page, keys::repeatvoiceRange);
    ARButton12 = new QPushButton(page);
    ARButton13 = new QPushButton(page);
    grid->addWidget(Check[4], 0, 0, 1, 3);
    grid->addWidget(Check[5], 1, 0, 1, 3);
    grid->addWidget(GLabel[10], 2, 0);
    auto* lineBox = new QVBoxLayout;
    lineBox->addWidget(modembox);
    lineBox->addWidget(lblNoLine);
    grid->addLayout(lineBox, 2, 1, 1, 2);
    grid->addWidget(GLabel[11], 3, 0);
    grid->addWidget(Text9, 3, 1, 1, 2);
    grid->addWidget(GLabel[12], 4, 0);
    grid->addWidget(txtRingsToAnswer, 4, 1);
    grid->addWidget(GLabel[13], 5, 0);
    grid->addWidget(Pin, 5, 1);
    grid->addWidget(pinNote_, 5, 2);
    grid->addWidget(GLabel[14], 6, 0);
    grid->addWidget(Text13, 6, 1);
    grid->addWidget(GLabel[15], 7, 0);
    grid->addWidget(Text10, 7, 1);
    auto* modemButtons = new QHBoxLayout;
    modemButtons->addWidget(ARButton12);
    modemButtons->addWidget(ARButton13);
    modemButtons->addStretch();
    grid->addLayout(modemButtons, 8, 0, 1, 3);
    connect(ARButton12, &QPushButton::clicked, this, &frmSet::ARButton12_Click);
    connect(ARButton13, &QPushButton::clicked, this, &frmSet::ARButton13_Click);
    connect(modembox, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            modembox_Click(index);
    });
    grid->setRowStretch(9, 1);
    grid->setColumnStretch(2, 1);
    return page;
}

QWidget* frmSet::buildSpeechPage()
{
    auto* page = new QGroupBox(this);
    auto* grid = new QGridLayout(page);
    VoiceCB = new QComboBox(page);
    AudioOutputCB = new QComboBox(page);
    FormatCB = new QComboBox(page);
    // The list shows each format's name and, beside it, the format in words.
    FormatCB->setModel(new QStandardItemModel(0, 2, FormatCB));
    auto* formatList = new QTreeView(FormatCB);
    formatList->setHeaderHidden(true);
    formatList->setRootIsDecorated(false);
    formatList->setItemsExpandable(false);
    formatList->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    formatList->setMinimumWidth(360);
    FormatCB->setView(formatList);
    formatWords = new QLabel(page);
    connect(FormatCB, &QComboBox::currentIndexChanged, this, &frmSet::showFormatWords);
    RateSldr = new QSlider(Qt::Horizontal, page);
    RateSldr->setRange(-10, 10);
    VolumeSldr = new QSlider(Qt::Horizontal, page);
    VolumeSldr->setRange(0, 100);
    grid->addWidget(GLabel[16], 0, 0);
    grid->addWidget(VoiceCB, 0, 1);
    grid->addWidget(GLabel[17], 1, 0);
    grid->addWidget(RateSldr, 1, 1);
    grid->addWidget(GLabel[18], 2, 0);
    grid->addWidget(VolumeSldr, 2, 1);
    grid->addWidget(extraLabels_[0], 3, 0);
    grid->addWidget(AudioOutputCB, 3, 1);
    grid->addWidget(extraLabels_[1], 4, 0);
    grid->addWidget(FormatCB, 4, 1);
    grid->addWidget(formatWords, 4, 2);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(1, 1);
    return page;
}

QWidget* frmSet::buildSpamPage()
{
    auto* page = new QGroupBox(this);
    auto* grid = new QGridLayout(page);
    List1 = new QListWidget(page);
    List2 = new QListWidget(page);
    List1->installEventFilter(this); // the Delete key removes an entry
    List2->installEventFilter(this);
    grid->addWidget(extraLabels_[2], 0, 0);
    grid->addWidget(List1, 1, 0);
    grid->addWidget(extraLabels_[3], 0, 1);
    grid->addWidget(List2, 1, 1);
    return page;
}

QWidget* frmSet::buildMailboxPage()
{
    auto* page = new QGroupBox(this);
    auto* box = new QVBoxLayout(page);
    ListView1 = new QTreeView(page);
    listModel = new MailList(ListView1);
    ListView1->setModel(listModel);
    ListView1->setRootIsDecorated(false);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(ListView1, &QTreeView::clicked, this, [this](const QModelIndex& index) { ListView1_Click(index.row()); });
    ARButton15 = new QPushButton(page);
    connect(ARButton15, &QPushButton::clicked, this, [this] {
        simPhone()->show();
        simPhone()->raise();
    });
    box->addWidget(ListView1, 1);
    box->addWidget(ARButton15, 0, Qt::AlignLeft);
    return page;
}

QWidget* frmSet::buildActionPage()
{
    auto* page = new QGroupBox(this);
    auto* box = new QVBoxLayout(page);
    auto* greetingRow = new QHBoxLayout;
    txtGreeting = new QLineEdit(page);
    greetingRow->addWidget(extraLabels_[4]);
    greetingRow->addWidget(txtGreeting, 1);
    box->addLayout(greetingRow);
    auto* buttons = new QHBoxLayout;
    CheckNowButton = new QPushButton(page);
    buttons->addWidget(CheckNowButton);
    for (int i = 0; i < kActionButtons; ++i) {
        ButtonAccount[i] = new QPushButton(page);
        buttons->addWidget(ButtonAccount[i]);
        connect(ButtonAccount[i], &QPushButton::clicked, this, [this, i] { ButtonAccount_Click(i); });
        // The speech and telephone actions plug in later.
        ButtonAccount[i]->setEnabled(i >= 5 && i <= 7);
    }
    ButtonAccount[9]->hide(); // stop: shown only while speaking
    buttons->addStretch();
    box->addLayout(buttons);
    return page;
}
