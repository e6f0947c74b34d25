// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/MailList.h"

MailList::MailList(QObject* parent) : QAbstractTableModel(parent) { }

void MailList::append(MailRow row)
{
    const int at = int(rows_.size());
    beginInsertRows(QModelIndex(), at, at);
    rows_.push_back(std::move(row));
    endInsertRows();
}

QString MailList::text(int row, int column) const
{
    if (row < 0 || row >= rowCount())
        return QString();
    const MailRow& r = at(row);
    switch (column) {
    case From: return r.sender;
    case Subject: return r.subject;
    case Date: return r.date;
    case File: return r.file;
    default: return QString();
    }
}

void MailList::setHeaderLabels(const QStringList& labels)
{
    headers_ = labels;
    emit headerDataChanged(Qt::Horizontal, 0, Columns - 1);
}

int MailList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int MailList::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : Columns;
}

QVariant MailList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return text(index.row(), index.column());
    return QVariant();
}

QVariant MailList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < headers_.size())
        return headers_[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool MailList::removeRows(int row, int count, const QModelIndex& parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > rowCount())
        return false;
    beginRemoveRows(QModelIndex(), row, row + count - 1);
    rows_.erase(rows_.begin() + row, rows_.begin() + row + count);
    endRemoveRows();
    return true;
}
