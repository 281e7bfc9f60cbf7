// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The modal message box as a seam: the program shows boxes through this
// interface, so tests can answer them without a display.

#include <QString>

class QWidget;

namespace mb {
// Flags and answers as the Windows message box numbers them.
inline constexpr int OkOnly = 0;
inline constexpr int RetryCancel = 5;
inline constexpr int Critical = 16;
inline constexpr int Exclamation = 48;
inline constexpr int Information = 64;

inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
inline constexpr int Retry = 4;
} // namespace mb

class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Shows a modal box and returns the button chosen (mb::Ok, mb::Retry, ...).
    virtual int show(QWidget *parent, const QString &text, const QString &title, int flags) = 0;
};
