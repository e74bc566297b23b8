#pragma once

#include "core/path_text.h"

#include <string>

class QWidget;

namespace plumbrae::ui {

class Dialogs;
class Registry;

// The shell routines the window uses. `GetParentPath` is the conversion core's (core/path_text.h)
// and is used from there.
using core::GetParentPath;

/// The folder picker: the chosen folder ("/" for the root keeps its separator, other folders
/// have none), or "" when the user cancels or the dialog fails.
std::string BrowseForFolder(Dialogs& dialogs, QWidget* owner, const std::string& title);

/// Opens a file path or a web address with the desktop's associated program. "" does nothing;
/// a failure of the desktop is not reported (there is nothing the user could do about it here).
void ShellOpen(const std::string& target);

/// Flips the Explorer-style hidden-file settings: when "Hidden" is 2 it writes "Hidden" 1,
/// "ShowSuperHidden" 1, "HideFileExt" 0; otherwise (any other value, or none) 2, 0, 1. Failures
/// are ignored: Add files goes on to its dialog in every case.
void ToggleHiddenFiles(Registry& registry);

/// Whether the open-files dialog should list hidden files: "Hidden" is 1.
bool hiddenFilesShown(const Registry& registry);

} // namespace plumbrae::ui
