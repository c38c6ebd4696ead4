// The program's compiled-in assets: the wave sounds ":/sounds/CLICK.wav" and
// ":/sounds/LAUNCH.wav" and the pictures under ":/icons/" (program icon, state pictures,
// tool-button pictures, repository category icons, the games' .ico files).
#pragma once

namespace dravik {

// Makes sure the resources are registered with Qt. Every executable that links dravik_resources
// has them from the start already; calling this as well ties the link to them. Cheap; may be
// called any number of times, from the user-interface thread.
void InitResources();

} // namespace dravik
