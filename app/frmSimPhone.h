// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QPoint>
#include <QString>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>

class QLabel;
class QPushButton;
class SimPhoneHost;
namespace audio {
class ClsMeida;
}

// The on-screen telephone: a handset picture, a twelve-key pad, a call button and two reading
// buttons. It drives the same keypad voice menu a caller reaches on the telephone line, through
// its owner (SimPhoneHost); the window plays its own key clicks and sign-on/sign-off chimes.
class frmSimPhone : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kKeys = 12; // 0 to 9, 10 "*", 11 "#"

    // player: the sound-file player to share (the internet call's); without one the window
    // opens its own on the sound card when it first plays something.
    explicit frmSimPhone(SimPhoneHost& host, audio::ClsMeida* player = nullptr, QWidget* parent = nullptr);
    ~frmSimPhone() override;

    // "0" to "9", "*", "#" for keys 0 to 11; empty for anything else.
    static QString KeyText(int keyIndex);

    // true: keypad off, reading buttons on (idle); false: keypad on, reading buttons off.
    void KeyEnable(bool flag);
    // The engine ended the simulated call: back on the hook with the sign-off chime.
    void EndedByProgram();
    // Reading the mailbox has ended: the call button and the reading buttons work again.
    void ReadingFinished();
    // Captions in the language of the letter ("T", "S", "E").
    void ApplyTexts(const QString& letter);

    void IncomePhone_Click();
    void ar_Click(int index);
    void Command1_Click();
    void Command2_Click();
    void Command4_Click();

    QLabel* P; // the handset picture
    QPushButton* IncomePhone; // "Connect" / "Disconnect"
    std::array<QPushButton*, kKeys> ar{};
    QPushButton* Command1; // read today's mail
    QPushButton* Command2; // read all mail
    QPushButton* Command4; // help
    QWidget* Frame1; // the keypad
    QWidget* Frame2; // the call and reading buttons

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void buildWindow();
    void showPicture(const QString& name);
    void playSound(const QString& name);
    void readMailbox(bool todayOnly);
    audio::ClsMeida* player();
    void onPlayerDone(int index);

    SimPhoneHost& host_;
    audio::ClsMeida* player_;
    std::unique_ptr<audio::ClsMeida> ownPlayer_;
    bool playing_ = false; // a sound of ours is on the player
    std::optional<double> lastPress_; // seconds since midnight of the last accepted key
    QPoint dragOrigin_;
    QWidget* body_ = nullptr;
    bool connected_ = false; // IncomePhone says "Disconnect"
    QString connectText_, disconnectText_;
};
