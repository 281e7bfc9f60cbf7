// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#include "platform/InputGate.h"

#include <QCoreApplication>
#include <QMouseEvent>

InputGate::InputGate(Classifier classify, QObject *parent)
    : QObject(parent), m_classify(std::move(classify))
{}

InputGate::~InputGate()
{
    if (m_closed)
        QCoreApplication::instance()->removeEventFilter(this);
}

bool InputGate::isInput(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::TabletMove:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
        return true;
    case QEvent::MouseMove:
        return static_cast<const QMouseEvent *>(event)->buttons() != Qt::NoButton;
    case QEvent::Close:
        return event->spontaneous(); // the close box, not the program's close()
    default:
        return false;
    }
}

void InputGate::close()
{
    if (m_closed)
        return;
    m_closed = true;
    QCoreApplication::instance()->installEventFilter(this);
}

void InputGate::open(const Dropper &drop)
{
    if (!m_closed)
        return;
    m_closed = false;
    QCoreApplication::instance()->removeEventFilter(this);
    // Taken out first: a held event may start a new handler that closes the
    // gate again (its own input is then held for its own end).
    std::vector<Held> held;
    held.swap(m_held);
    for (Held &h : held) {
        if (!h.target || (drop && drop(h.target, h.event.get())))
            continue;
        QCoreApplication::sendEvent(h.target, h.event.get());
    }
}

bool InputGate::eventFilter(QObject *watched, QEvent *event)
{
    // Shortcuts are sent by the toolkit itself (not spontaneous); every other
    // input comes from the window system, or from a test that acts as it.
    if (!m_closed || !isInput(event) ||
        (!event->spontaneous() && event->type() != QEvent::Shortcut))
        return false;
    switch (m_classify ? m_classify(watched, event) : Verdict::Hold) {
    case Verdict::Pass:
        return false;
    case Verdict::Take:
        return true;
    case Verdict::Hold:
        break;
    }
    m_held.push_back({watched, std::unique_ptr<QEvent>(event->clone())});
    return true;
}
