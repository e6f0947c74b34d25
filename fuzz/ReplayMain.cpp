// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds files to a fuzz target's entry function without libFuzzer: each argument is a file, or
// a folder whose files are fed in name order. A failed check aborts, so a kept finding that
// comes back fails the test that replays it.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv)
{
    LLVMFuzzerInitialize(&argc, &argv);
    int fed = 0;
    for (int i = 1; i < argc; ++i) {
        const QFileInfo arg(QString::fromLocal8Bit(argv[i]));
        QStringList files;
        if (arg.isDir()) {
            for (const QString& name : QDir(arg.filePath()).entryList(QDir::Files, QDir::Name))
                files << arg.filePath() + QLatin1Char('/') + name;
        } else if (arg.isFile()) {
            files << arg.filePath();
        } else {
            std::fprintf(stderr, "replay: no file or folder %s\n", argv[i]);
            return 2;
        }
        for (const QString& path : files) {
            QFile f(path);
            if (!f.open(QIODevice::ReadOnly)) {
                std::fprintf(stderr, "replay: cannot read %s\n", qPrintable(path));
                return 2;
            }
            const QByteArray bytes = f.readAll();
            std::printf("replay %s\n", qPrintable(path));
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
            ++fed;
        }
    }
    std::printf("replayed %d inputs\n", fed);
    return 0;
}
