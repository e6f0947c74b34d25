// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "platform/telephone/SipLineConfig.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace platform {

// The SIP line devices: accounts at a provider or PBX and direct listeners on a local port.
// Edits change the selected entry at once; OK checks every entry and, when one is wrong,
// selects it and says what is wrong instead of closing. Without any line it opens on a new
// account ready to fill in; a new entry left as it was is not kept.
class SipSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    SipSettingsDialog(const QList<SipLineConfig>& lines, int current, QWidget* parent = nullptr);

    QList<SipLineConfig> lines() const { return lines_; }
    void accept() override;
    // After OK: the entry selected then, when it was added here (its number in lines()), else -1.
    int chosenRow() const { return chosen_; }

    void addEntry(); // a new account, selected
    void removeEntry(); // the selected entry

    QListWidget* list;
    QComboBox* kindBox; // "Account", "Direct listener"
    QLineEdit* identityEdit;
    QLineEdit* serverEdit;
    QLineEdit* userEdit;
    QLineEdit* passwordEdit; // masked
    QComboBox* transportBox; // udp, tcp, tls
    QSpinBox* portBox;
    QPushButton* addButton;
    QPushButton* removeButton;
    QLabel* messageLabel; // what is wrong with an entry, or ""
    QLabel* serverHint; // what the server field means for the entry's kind

private:
    void select(int row);
    void formChanged();
    void showEntry();

    QList<SipLineConfig> lines_;
    QList<bool> added_; // per entry: added in this dialog
    int row_ = -1;
    int chosen_ = -1;
    bool loading_ = false;
};

} // namespace platform
