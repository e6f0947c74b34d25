// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

// One listed mail: what its row shows, and the server's id for it (empty without UIDL).
struct MailRow
{
    QString sender;
    QString subject;
    QString date;
    QString file;
    QString id;
};

// The mailbox as the window, the voice menu and the tools see it: a row per listed mail.
// Rows are plain values; a big mailbox lists thousands of them in one check.
class MailList final : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { From, Subject, Date, File, Columns };

    explicit MailList(QObject* parent = nullptr);

    void append(MailRow row);
    const MailRow& at(int row) const { return rows_[size_t(row)]; }
    QString text(int row, int column) const;
    void setHeaderLabels(const QStringList& labels);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex& parent = QModelIndex()) override;

private:
    std::vector<MailRow> rows_;
    QStringList headers_;
};
