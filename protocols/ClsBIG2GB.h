// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QByteArray>
#include <QString>
#include <cstdint>

// Converts Chinese text between Big5 and GB2312 by table lookup. Both tables are read from
// the program's resources when the first object is made and shared by all later ones;
// 0x2020 (two blanks) marks a code with no counterpart. Without the tables every
// conversion gives its input back.
class ClsBIG2GB
{
public:
    ClsBIG2GB();

    // The string forms read the text in the source code page and give the characters the
    // system code page shows for the converted bytes.
    QString GB2BIG(const QString& text) const;
    QString BIG2GB(const QString& text) const;
    // The byte forms keep the length; a lead byte left at the end becomes 0.
    QByteArray GB2BIGByte(const QByteArray& bytes) const;
    QByteArray BIG2GBByte(const QByteArray& bytes) const;

    bool loaded() const { return loaded_; }

    static constexpr int kGbEntries = 8178; // 87 rows of 94
    static constexpr int kBig5Entries = 14758; // 94 rows of 157
    static constexpr uint16_t kNoCounterpart = 0x2020;

private:
    const uint16_t* gbToBig5_ = nullptr; // kGbEntries codes
    const uint16_t* big5ToGb_ = nullptr; // kBig5Entries codes
    bool loaded_ = false;
};
