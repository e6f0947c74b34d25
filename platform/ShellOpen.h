#pragma once
#include <QString>
#include <QUrl>
#include <functional>

namespace platform {

// Opens a document, file or web address with the desktop's default handler.
// Returns false when nothing could be opened.
bool OpenWithShell(const QString& target);

// Tests watch what would be opened instead of starting a browser; nullptr restores the desktop.
void SetShellOpenHandler(std::function<bool(const QUrl&)> handler);

} // namespace platform
