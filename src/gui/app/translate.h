// Translation of whole windows: every caption, hint, accessible name and list item of a window and
// its children goes through the gettext catalogue. The first translation records the English text of each
// translated property; a retranslation into another language starts again from those records.
#pragma once
#include <string>

class QObject;

// Leaves the object called `name` (and only it) out of every translation of `root`'s window.
// Call before the first TranslateComponent.
void TP_Ignore(QObject* root, const std::string& name);

// Records the English texts of `root` and every object below it, then translates them into the
// current language. Objects that already have records are retranslated instead.
void TranslateComponent(QObject* root);

// Translates again from the recorded English texts into the current language. A property whose
// text the program has changed since it was last translated (a counter, a status message, a
// caption naming a device) is left as the program set it. Objects created since the last
// translation are recorded and translated now.
void RetranslateComponent(QObject* root);
