// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "resources/Artwork.h"

#include <QBitmap>
#include <QColor>

#include "resources/program-icon.xpm"
#include "resources/splitter-cursor.xpm"
#include "resources/toolbar-1.xpm"
#include "resources/toolbar-2.xpm"
#include "resources/toolbar-3.xpm"
#include "resources/toolbar-4.xpm"
#include "resources/toolbar-5.xpm"

namespace artwork {

QPixmap programIconPixmap()
{
    return QPixmap(program_icon_xpm);
}

QIcon programIcon()
{
    return QIcon(programIconPixmap());
}

QPixmap toolbarImage(int index)
{
    static const char *const *const images[] = {toolbar_1_xpm, toolbar_2_xpm, toolbar_3_xpm,
                                                toolbar_4_xpm, toolbar_5_xpm};
    if (index < 1 || index > 5)
        return QPixmap();
    QPixmap pixmap(images[index - 1]);
    // Silver is the image list's mask colour: every silver pixel is transparent.
    pixmap.setMask(pixmap.createMaskFromColor(QColor(192, 192, 192), Qt::MaskInColor));
    return pixmap;
}

QCursor splitterCursor()
{
    return QCursor(QPixmap(splitter_cursor_xpm), 10, 8);
}

} // namespace artwork
