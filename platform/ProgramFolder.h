// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include <QString>
#include <QStringList>

namespace platform {

// The folder the program reads its data files from (captions, sounds, pictures) and writes its
// spam lists, log and temporary files to: the folder of the running program when it holds the
// data files (a build tree), otherwise a per-user data folder seeded from the shipped data.
// The environment variable KORVALEN_PROGRAM_FOLDER names another folder.
QString ProgramFolder();

// Where the data files the program ships are: beside the running program (a build tree), or
// in share/korvalen of the installation the program runs from, wherever it was installed.
// Empty when neither holds them.
QString ShippedDataFolder();

// The names of the data files the program ships: captions, sounds, pictures, window icons.
QStringList ShippedDataFiles();

// Empty when the program folder can be written; otherwise a sentence for the user.
QString ProgramFolderProblem();

// Copies the program's data files (captions, sounds, pictures) that source holds and folder
// lacks or holds in another version (after an upgrade), and the user's spam lists that folder
// lacks; nothing else, and the spam lists already there are never overwritten.
void SeedProgramFolder(const QString& source, const QString& folder);

// Tests and tools point the program at a folder of their own; an empty path undoes it.
void SetProgramFolderOverride(const QString& folder);

} // namespace platform
