// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sound/SoundCard.h"

#include "platform/Modules.h"

namespace platform {

QString SoundCardModulePath()
{
    return ModulePath(QStringLiteral("korvalen-soundcard.so"));
}

QString CheckSoundCardModule(const QString& path)
{
    QString problem;
    ModuleFunction(path, KORVALEN_SOUND_CARD, &problem);
    return problem;
}

const SoundCardParts* SoundCard()
{
    static const SoundCardParts* const parts = [] {
        QString problem;
        const QString path = SoundCardModulePath();
        const auto card = reinterpret_cast<KorvalenSoundCard>(ModuleFunction(path, KORVALEN_SOUND_CARD, &problem));
        if (!card)
            qWarning("No sound card: %s", qPrintable(problem));
        return card ? card() : nullptr;
    }();
    return parts;
}

} // namespace platform
