#include "platform/ShellOpen.h"

#include <QDesktopServices>
#include <QFileInfo>

namespace platform {
namespace {
std::function<bool(const QUrl&)> handler;
}

bool OpenWithShell(const QString& target)
{
    if (target.trimmed().isEmpty())
        return false;
    // A path on disk is a file; anything with a scheme is an address.
    const QUrl url = QFileInfo::exists(target) ? QUrl::fromLocalFile(QFileInfo(target).absoluteFilePath())
                                               : QUrl::fromUserInput(target);
    if (!url.isValid())
        return false;
    return handler ? handler(url) : QDesktopServices::openUrl(url);
}

void SetShellOpenHandler(std::function<bool(const QUrl&)> h)
{
    handler = std::move(h);
}

} // namespace platform
