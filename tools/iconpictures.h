// Dravik's pictures, each a drawing for iconfiles.h's Render on the canvas its group names.
#pragma once

#include <QPainter>

namespace dravik::icons {

// Tool-button pictures (24-unit canvas, toolbarpictures.cpp).
void DrawAdd(QPainter& p);
void DrawRemove(QPainter& p);
void DrawActivate(QPainter& p);
void DrawLaunch(QPainter& p);
void DrawProperties(QPainter& p);
void DrawRefresh(QPainter& p);
void DrawRepository(QPainter& p);
void DrawNew(QPainter& p);
void DrawOpen(QPainter& p);
void DrawSave(QPainter& p);
void DrawAddFiles(QPainter& p);
void DrawDelete(QPainter& p);
void DrawGobProperties(QPainter& p);
void DrawNewDir(QPainter& p);
void DrawAbort(QPainter& p);
void DrawInstall(QPainter& p);
void DrawView(QPainter& p);

// Repository category pictures (24-unit canvas) and the patch list's state pictures (16-unit
// canvas, on white), listpictures.cpp.
void DrawForce(QPainter& p);
void DrawItem(QPainter& p);
void DrawSaber(QPainter& p);
void DrawSkin(QPainter& p);
void DrawOther(QPainter& p);
void DrawStateInactive(QPainter& p);
void DrawStateActive(QPainter& p);
void DrawStateBlocked(QPainter& p);

// The program's icon (256-unit canvas) and the games' icons (32-unit canvas),
// programpictures.cpp.
void DrawProgram(QPainter& p);
void DrawHalvex(QPainter& p);
void DrawMorvane(QPainter& p);

} // namespace dravik::icons
