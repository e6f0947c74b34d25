// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>

class ConsoleHost;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class QTcpSocket;
class QTimer;
class cSmtp;
namespace platform {
class SettingsStore;
}

// The program's console: a row of function buttons over one panel at a time, and a status
// label. It composes and sends short e-mails through an SMTP client of its own.
class Pilot : public QWidget
{
    Q_OBJECT
public:
    static constexpr int kLabels = 11; // PLabel 0 to 10
    static constexpr int kFunctionButtons = 7; // AFunction 0 to 6
    static constexpr int kSendButton = 3;

    Pilot(platform::SettingsStore& store, ConsoleHost& host, QWidget* parent = nullptr);
    ~Pilot() override;

    // Writes the status label.
    void showMess(const QString& text);
    QString statusText() const;
    // Brings the window up on its compose page.
    void showCompose();
    // A key dictated on the telephone keypad edits the message body at its cursor: character 8
    // erases, 13 starts a new line, other control characters are dropped, the rest is typed.
    // Returns what to say back to the caller (empty when nothing happened).
    QString applyDictatedKey(const QString& character);
    // Captions from the captions file: label index 0 to 10; function button 0 to 6 (0 to 2
    // carry pictures, so their text is the tool-tip).
    void SetLabelCaption(int index, const QString& text);
    void SetButtonText(int index, const QString& text);
    // Stores what the window keeps between runs.
    void Form_Unload();

    void AFunction_Click(int index);
    // An e-mail is on its way; a second one is refused until it ends.
    bool isSending() const { return sending_; }

    QLineEdit* txtToEmailAddress;
    QLineEdit* txtFromEmailAddress;
    QLineEdit* txtMailSubject;
    QPlainTextEdit* RTf; // the message body
    QLabel* StatusLabel;
    std::array<QLabel*, kLabels> PLabel{}; // only those of built panels
    std::array<QPushButton*, kFunctionButtons> AFunction{}; // only those with an action yet
    QStackedWidget* Panels;
    QWidget* ComposePage;

    // The console's own SMTP client with the socket and one-second timer it lends it.
    cSmtp* ObjSmtp;
    QTcpSocket* SMTPsock;
    QTimer* SmtpTimeout;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* buildComposePage();
    void sendMail();
    void ObjSmtp_Sending();
    void ObjSmtp_ServerClose(int16_t code);

    platform::SettingsStore& store_;
    ConsoleHost& host_;
    bool sending_ = false;
};
