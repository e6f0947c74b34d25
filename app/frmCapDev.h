// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QDialog>
#include <array>
#include <vector>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;

namespace platform {
class SettingsStore;
}

// The first-run setup wizard: web login, e-mail account, telephone alert, check interval,
// and a closing page. Advancing past the last page saves; cancelling writes nothing.
class frmCapDev : public QDialog
{
    Q_OBJECT
public:
    static constexpr int kPages = 5;

    explicit frmCapDev(platform::SettingsStore& store, QWidget* parent = nullptr);

    // Page 0, flags cleared, boxes filled from the store; called before each showing.
    void Form_Load();
    // The captions of a language ("T", "S" or "E"); a missing text keeps the built-in English.
    void ApplyTexts(const QString& letter);

    void OKButton_Click(int index); // 0 next, 1 back
    void CancelButton_Click();
    void SaveWizard();
    void ResetPage();

    int page() const { return page_; }
    bool cancelled = false;
    bool skipTelephone = false;
    bool saved() const { return saved_; } // the last showing wrote its boxes
    QString lastError() const { return lastError_; }

    std::array<QFrame*, kPages> frames{};
    QLabel* lblProblem; // what keeps the wizard on its page
    std::array<QPushButton*, 2> OKButton{};
    QPushButton* CancelButton;
    QLabel* lblAbout;
    QLineEdit* txtLoginName;
    QLineEdit* txtLoginPw;
    QLineEdit* txtEmailUID;
    QLineEdit* txtEmailPw;
    QLineEdit* txtPopServer;
    QLineEdit* txtSmtpServer;
    QComboBox* cboPopSecurity; // none, STARTTLS, TLS
    QComboBox* cboSmtpSecurity;
    QLineEdit* txtSmtpUser; // empty: no login
    QLineEdit* txtSmtpPw;
    QCheckBox* chkVoiceCall;
    QComboBox* cboModem;
    QLineEdit* txtPhone;
    QLineEdit* txtMinute;
    QLabel* lblNoLine; // how to add a line, shown instead of an empty line list

protected:
    // Closing by the frame or the buttons only hides the wizard, so it can be shown again.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Return moves to the page's next field, and from its last field to the next page.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showPage(int page);
    void showLineChoice();
    QWidget* nextField(QWidget* from) const;
    bool accountGiven();
    void setText(const char* key, const QString& text);

    platform::SettingsStore& store_;
    int page_ = 0;
    bool saved_ = false;
    QString lastError_;
    QString letter_ = QStringLiteral("E");
    QLabel* title_;
    struct Caption
    {
        const char* key;
        QLabel* label;
        QString english;
    };
    std::vector<Caption> captions_;
    QLabel* page0Text_ = nullptr;
    std::array<std::vector<QWidget*>, kPages> fields_; // each page's fields in the order Return walks
    QFormLayout* linePage_ = nullptr;
};
