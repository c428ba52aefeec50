#pragma once
// Registers the widget library's control and component classes with the
// form reader's class registry, so form resources can create them by name.
// The program calls it once before it reads its first form; calling it again
// changes nothing.
void OxRegisterWidgetClasses();
