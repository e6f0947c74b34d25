#pragma once
#include <QString>
#include <cstdint>

namespace platform {

// Values the main window sets for the whole program and that other parts read.
struct ProgramWide
{
    int lcid = 0x0409;                  // mapped system locale identifier
    bool exiting = false;               // the user quit; the next countdown tick ends the program
    bool spokenCaptions = false;        // buttons speak their captions
    bool chineseVoiceAvailable = false;
    QString programFolder;
};

ProgramWide& Globals();

} // namespace platform
