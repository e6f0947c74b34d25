// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Modules.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <dlfcn.h>

namespace platform {

QString ModulePath(const QString& fileName)
{
    const QString here = QCoreApplication::applicationDirPath();
    const QString beside = QDir(here).filePath(fileName);
    const QString installed = QDir(here).filePath(QStringLiteral(KORVALEN_MODULES_FROM_PROGRAM "/") + fileName);
    return QFileInfo::exists(beside) ? beside : QDir::cleanPath(installed);
}

void* ModuleFunction(const QString& path, const char* name, QString* problem)
{
    void* handle = ::dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        *problem = QString::fromLocal8Bit(::dlerror());
        return nullptr;
    }
    void* function = ::dlsym(handle, name);
    if (!function)
        *problem = QStringLiteral("%1 has no %2").arg(path, QLatin1String(name));
    return function;
}

} // namespace platform
