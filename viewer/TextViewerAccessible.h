// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// The viewer's accessibility interface: its text, selection and geometry for
// screen readers (QAccessibleTextInterface), read-only and multi-line.

// Installs the factory that gives every TextViewer that interface. Idempotent;
// the viewer calls it when the first one is made.
void installTextViewerAccessibility();
