// The pictures the windows show: tool-button pictures (the desktop's icon theme where it has a
// fitting icon, the program's own pictures otherwise), the program's icon, the patch list's
// state pictures, the repository category icons, and a game's icon from the catalogue.
// User-interface thread only; a QGuiApplication must exist. None of these throws.
#pragma once

#include <QIcon>
#include <QPixmap>
#include <QString>
#include <cstdint>
#include <vector>

namespace dravik {

// The picture of a tool button by name: "add", "remove", "activate", "launch", "properties",
// "refresh", "repository" (main window); "new", "open", "save", "addfiles", "delete",
// "gobproperties", "newdir" (GOB editor); "abort", "install", "view" (repository window).
// A name the program does not know gives a null icon.
QIcon ToolIcon(const QString& name);

// The program's own icon (window icons, the about box).
QIcon ProgramIcon();

// The patch list's state picture, 16 by 16 on a transparent ground (drawn at twice the size on
// a scaled screen), for 0 inactive (a ring), 1 active (a check mark), 2 blocked by an active
// conflicting patch (a bar) (TPatchState). Any other number gives a null pixmap.
QPixmap StatePicture(int state);

// A repository entry's category icon (16 and 32 pixels): 0 Force, 1 Item, 2 Saber, 3 Skin; any
// other index gives the icon of other or unknown categories.
QIcon CategoryIcon(int index);

// A game's icon from the bytes of an .ico file (the catalogue's "Icon" value). Bytes that are
// empty or not a readable icon give the program's icon. Never reads outside `bytes`.
QIcon IconFromIcoBytes(const std::vector<uint8_t>& bytes);

} // namespace dravik
