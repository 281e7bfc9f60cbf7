#include "FakeMessageBox.h"

int FakeMessageBox::show(QWidget *, const QString &text, const QString &title, int flags)
{
    const Shown box{text, title, flags};
    m_shown.append(box);
    if (m_hook)
        m_hook(box);
    if (!m_answers.isEmpty())
        return m_answers.takeFirst();
    return (flags & 0x0F) == mb::RetryCancel ? mb::Retry : mb::Ok;
}
