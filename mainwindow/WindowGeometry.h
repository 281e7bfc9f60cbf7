// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Window and control geometry in twips, as start-up, shut-down and the layout
// read and write it. A window's left, top, width and height are its outer
// (frame) rectangle; a control's are relative to its parent. Conversion to and
// from pixels happens in twips:: alone.

class QWidget;

namespace wingeom {

// Window state values: 0 normal, 1 minimized, 2 maximized.
inline constexpr int StateNormal = 0;
inline constexpr int StateMinimized = 1;
inline constexpr int StateMaximized = 2;

double left(const QWidget *window);
double top(const QWidget *window);
double width(const QWidget *window);
double height(const QWidget *window);
int state(const QWidget *window);

// Whether the window takes a left or top edge, or a width or height, of this
// many twips; a value outside what the window system can place is refused.
bool acceptsPosition(double twips);
bool acceptsSize(double twips);

void setLeft(QWidget *window, double twips);
void setTop(QWidget *window, double twips);
void setWidth(QWidget *window, double twips);
void setHeight(QWidget *window, double twips);
void setState(QWidget *window, int state);

// Keeps the outer size and the frame's position given to a window before it
// was first shown. Where the window system adds the frame only when the window
// is shown (X11 window managers), the size given then became the inner size,
// and the position given became the inside's, so the window came up larger by
// its frame and a frame border and title bar off. Call this once the stored
// left, top, width and height are applied: the first time the window is shown
// in its normal state with its frame known, its size is corrected once by the
// frame, and where the window system can tell where the window really is
// (platform::insidePosition), its frame is moved to the given corner. Nothing
// happens when the frame was already known, when there is none, or when the
// window was resized by anything else meanwhile.
void keepOuterSize(QWidget *window);

// Moves a window whose outer rectangle lies entirely off every screen to the
// top-left corner of the primary screen's available area.
void moveOntoScreen(QWidget *window);

namespace control {
double left(const QWidget *control);
double top(const QWidget *control);
double width(const QWidget *control);
double height(const QWidget *control);
// Each setter leaves the control as it is when the value is negative where a
// control cannot take that (a width or height below 0).
void setLeft(QWidget *control, double twips);
void setWidth(QWidget *control, double twips);
void setHeight(QWidget *control, double twips);
void setGeometry(QWidget *control, double left, double top, double width, double height);
} // namespace control

} // namespace wingeom
