// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/frmSimPhone.h"

#include "app/LocalizedTexts.h"
#include "app/SimPhoneHost.h"
#include "audio/ClsMeida.h"
#include "platform/Clock.h"
#include "platform/ProgramFolder.h"
#include "platform/ShellOpen.h"
#include "platform/sound/WaveDevice.h"

#include <QBitmap>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <cmath>

namespace {

constexpr int kWidth = 208;
constexpr int kHeight = 372;
constexpr int kPicture = 64; // the handset pictures are 64 by 64
constexpr int kBodyTop = 40; // the picture sits on the body's top edge
constexpr int kBodyRadius = 18;
constexpr double kDay = 86400.0; // the clock starts again at midnight

QRectF bodyRect()
{
    return QRectF(0, kBodyTop, kWidth, kHeight - kBodyTop);
}

QPainterPath bodyPath()
{
    QPainterPath path;
    path.addRoundedRect(bodyRect(), kBodyRadius, kBodyRadius);
    return path;
}

// The click of each key: one pip for the left column, two for the middle, three for the right.
QString clickSound(int key)
{
    switch (key) {
    case 1:
    case 4:
    case 7: return QStringLiteral("1.wav");
    case 0:
    case 2:
    case 5:
    case 8: return QStringLiteral("2.wav");
    case 3:
    case 6:
    case 9: return QStringLiteral("3.wav");
    default: return {}; // "*" and "#" are silent
    }
}

} // namespace

frmSimPhone::frmSimPhone(SimPhoneHost& host, audio::ClsMeida* player, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), host_(host), player_(player)
{
    if (player_)
        connect(player_, &audio::ClsMeida::OutputDone, this, &frmSimPhone::onPlayerDone);
    buildWindow();
    ApplyTexts(QStringLiteral("E"));
    showPicture(QStringLiteral("phoneon.bmp"));
    KeyEnable(true);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - kWidth - 24, area.bottom() - kHeight - 24);
    }
}

frmSimPhone::~frmSimPhone() = default;

void frmSimPhone::buildWindow()
{
    setFixedSize(kWidth, kHeight);

    P = new QLabel(this);
    P->setGeometry((kWidth - kPicture) / 2, 0, kPicture, kPicture);

    body_ = new QWidget(this);
    body_->setGeometry(14, kBodyTop + kPicture / 2 + 8, kWidth - 28, kHeight - kBodyTop - kPicture / 2 - 22);
    auto* column = new QVBoxLayout(body_);
    column->setContentsMargins(0, 0, 0, 0);

    Frame1 = new QWidget(body_);
    auto* grid = new QGridLayout(Frame1);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(6);
    // The pad as a telephone shows it: 1 2 3 on top, * 0 # at the bottom.
    const int layout[4][3] = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}, {10, 0, 11}};
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 3; ++col) {
            const int key = layout[row][col];
            ar[key] = new QPushButton(KeyText(key), Frame1);
            ar[key]->setMinimumHeight(30);
            ar[key]->setFocusPolicy(Qt::NoFocus);
            connect(ar[key], &QPushButton::clicked, this, [this, key] { ar_Click(key); });
            grid->addWidget(ar[key], row, col);
        }
    column->addWidget(Frame1);

    Frame2 = new QWidget(body_);
    auto* buttons = new QVBoxLayout(Frame2);
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(6);
    IncomePhone = new QPushButton(Frame2);
    IncomePhone->setMinimumHeight(30);
    buttons->addWidget(IncomePhone);
    auto* reading = new QHBoxLayout;
    Command1 = new QPushButton(Frame2);
    Command2 = new QPushButton(Frame2);
    reading->addWidget(Command1);
    reading->addWidget(Command2);
    buttons->addLayout(reading);
    Command4 = new QPushButton(Frame2);
    buttons->addWidget(Command4);
    column->addWidget(Frame2);

    connect(IncomePhone, &QPushButton::clicked, this, &frmSimPhone::IncomePhone_Click);
    connect(Command1, &QPushButton::clicked, this, &frmSimPhone::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmSimPhone::Command2_Click);
    connect(Command4, &QPushButton::clicked, this, &frmSimPhone::Command4_Click);
}

void frmSimPhone::ApplyTexts(const QString& letter)
{
    const QString section = letter + QStringLiteral("SimPhone");
    auto text = [&](const char* key, const char* english) {
        const QString t = ReadStatementText(section, QString::fromLatin1(key));
        return t.isEmpty() ? QString::fromUtf8(english) : t;
    };
    setWindowTitle(text("Title", "Simulated telephone"));
    Command1->setText(text("ReadToday", "Today's mail"));
    Command2->setText(text("ReadAll", "All mail"));
    Command4->setText(text("Help", "Help"));
    connectText_ = text("Connect", "Connect");
    disconnectText_ = text("Disconnect", "Disconnect");
    IncomePhone->setText(connected_ ? disconnectText_ : connectText_);
}

QString frmSimPhone::KeyText(int keyIndex)
{
    if (keyIndex >= 0 && keyIndex <= 9)
        return QString::number(keyIndex);
    if (keyIndex == 10)
        return QStringLiteral("*");
    if (keyIndex == 11)
        return QStringLiteral("#");
    return {};
}

void frmSimPhone::KeyEnable(bool flag)
{
    for (QPushButton* key : ar)
        key->setEnabled(!flag);
    Command1->setEnabled(flag);
    Command2->setEnabled(flag);
}

// ---- the buttons

void frmSimPhone::IncomePhone_Click()
{
    // The window is in its new state before the owner hears of it, so that the owner may end
    // the call at once (EndedByProgram) without the window undoing that afterwards.
    if (!connected_) {
        if (!host_.simAvailable())
            return;
        connected_ = true;
        IncomePhone->setText(disconnectText_);
        showPicture(QStringLiteral("phoneoff.bmp"));
        KeyEnable(false);
        playSound(QStringLiteral("signon.wav"));
        host_.simphone_IncomingPhone();
    } else {
        connected_ = false;
        IncomePhone->setText(connectText_);
        showPicture(QStringLiteral("phoneon.bmp"));
        KeyEnable(true);
        playSound(QStringLiteral("signoff.wav"));
        host_.simPhoneHangUp();
    }
}

void frmSimPhone::EndedByProgram()
{
    // A call the user has already hung up was signed off then.
    const bool connected = std::exchange(connected_, false);
    IncomePhone->setText(connectText_);
    showPicture(QStringLiteral("phoneon.bmp"));
    if (connected)
        playSound(QStringLiteral("signoff.wav"));
    KeyEnable(true);
}

void frmSimPhone::ar_Click(int index)
{
    if (index < 0 || index >= kKeys)
        return;
    // A second press within about half a second of the last is a bounce and is dropped.
    const double now = platform::AppClock().secondsSinceMidnight();
    if (lastPress_ && std::lround(std::fmod(now - *lastPress_ + kDay, kDay)) < 1)
        return;
    lastPress_ = now;
    host_.SimPhoneButton(index);
    const QString sound = clickSound(index);
    if (!sound.isEmpty())
        playSound(sound);
}

void frmSimPhone::Command1_Click()
{
    readMailbox(true);
}

void frmSimPhone::Command2_Click()
{
    readMailbox(false);
}

void frmSimPhone::readMailbox(bool todayOnly)
{
    if (!host_.simAvailable())
        return;
    // The buttons stay off until the last message has been read (ReadingFinished).
    IncomePhone->setEnabled(false);
    Command1->setEnabled(false);
    Command2->setEnabled(false);
    host_.simphone_listAll(todayOnly);
}

void frmSimPhone::ReadingFinished()
{
    IncomePhone->setEnabled(true);
    Command1->setEnabled(true);
    Command2->setEnabled(true);
}

void frmSimPhone::Command4_Click()
{
    const QString page = host_.helpPage();
    if (!page.isEmpty())
        platform::OpenWithShell(page + QStringLiteral("#DB"));
}

// ---- picture and shape

void frmSimPhone::showPicture(const QString& name)
{
    const QImage image(QDir(platform::ProgramFolder()).filePath(name));
    P->setPixmap(QPixmap::fromImage(image));
    QRegion shape(bodyPath().toFillPolygon().toPolygon());
    if (!image.isNull()) {
        // The picture's corner shows the colour that is not part of the telephone.
        const QBitmap telephone = QBitmap::fromImage(image.createMaskFromColor(image.pixel(0, 0), Qt::MaskInColor));
        shape += QRegion(telephone).translated(P->pos());
    }
    setMask(shape);
}

void frmSimPhone::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, kBodyTop, 0, kHeight);
    g.setColorAt(0, QColor(0x4A, 0x50, 0x58));
    g.setColorAt(1, QColor(0x22, 0x26, 0x2B));
    p.setPen(QPen(QColor(0x16, 0x18, 0x1B), 2));
    p.setBrush(g);
    p.drawPath(bodyPath());
}

void frmSimPhone::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        dragOrigin_ = event->globalPosition().toPoint();
    QWidget::mousePressEvent(event);
}

void frmSimPhone::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton) {
        const QPoint now = event->globalPosition().toPoint();
        move(pos() + (now - dragOrigin_));
        dragOrigin_ = now;
    }
    QWidget::mouseMoveEvent(event);
}

// ---- sounds

audio::ClsMeida* frmSimPhone::player()
{
    if (!player_) {
        // Playback only: the input is never started, so nothing is recorded.
        ownPlayer_ = std::make_unique<audio::ClsMeida>();
        ownPlayer_->SetDevices(std::make_unique<platform::SilentWaveInput>(platform::WavePace::Manual),
                               platform::MakeDefaultWaveOutput());
        player_ = ownPlayer_.get();
        connect(player_, &audio::ClsMeida::OutputDone, this, &frmSimPhone::onPlayerDone);
    }
    return player_;
}

void frmSimPhone::playSound(const QString& name)
{
    const QString path = QDir(platform::ProgramFolder()).filePath(name);
    if (!QFileInfo::exists(path))
        return; // a missing sound is not worth a word
    audio::ClsMeida* p = player();
    if (!p->AudioOpen())
        return;
    // A new sound cuts the one still playing short.
    if (playing_ && p->GetState() == audio::ClsMeida::PlayingFile) {
        p->StopPlayFile();
        p->CloseFile();
    }
    playing_ = p->PlayFile(path);
}

void frmSimPhone::onPlayerDone(int index)
{
    if (index != audio::ClsMeida::kFileBuffer || !playing_)
        return;
    playing_ = false;
    player_->CloseFile();
}
