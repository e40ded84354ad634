// The program's own pictures, drawn at run time: tool-bar images, column-button glyphs, the
// maker's logo and the window icon.
#pragma once
#include <QIcon>
#include <QPixmap>

// Tool-bar image list: 0 find, 1 exit, 2 help, 3 device, 4 firmware upgrade, 5 log report,
// 6 language, 7 configuration.
QIcon ToolBarIcon(int index);
QPixmap LogoPixmap();   // 130 x 136
QPixmap ProgramPicture();  // 111 x 41, the about box's picture
QIcon WindowIcon();
QPixmap LinkPixmap();   // 24 x 24 globe beside the address field (the web link)
