// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/FakeMessageBox.h"

#include <QtGlobal>

int FakeMessageBox::show(QWidget *, const QString &text, const QString &title, int flags)
{
    const Shown box{text, title, flags};
    m_shown.append(box);
    if (m_hook)
        m_hook(box);
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    const int buttons = flags & 0x0F;
    if (buttons == mb::OkOnly)
        return mb::Ok;
    m_unexpected.append(box);
    qWarning("FakeMessageBox: no answer queued for box \"%s\" (buttons %d); answering Cancel",
             qUtf8Printable(text), buttons);
    return mb::Cancel;
}
