// SPDX-License-Identifier: GPL-3.0-or-later
// The launch bench's peer: a minimal Qt window, linked with Qt Widgets alone.
#include <QApplication>
#include <QLabel>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Hello"));
    window.setWindowTitle(QStringLiteral("peer"));
    window.show();
    return app.exec();
}
