// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// Holds the user's input while a long handler runs on the user-interface
// thread and lets the event loop run (to repaint, to answer the window
// manager and the accessibility bus): what the user types and clicks in the
// meantime is kept, in order, and delivered when the gate opens, as if the
// handler had taken no events at all. What the window must act on at once
// (the key and the close box that stop the handler) is taken instead, and
// what it lets through (a menu) passes.
//
// Keys, mouse buttons, wheel, touch, input-method text, shortcuts and the
// close of a window are input; mouse moves with no button down pass (hover),
// and so does everything else (paint, expose, timers, the accessibility bus).
// Held events go to the object they were sent to (a window, or a widget when
// sent to one directly), which is still there or dropped.

#include <QEvent>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <vector>

class InputGate : public QObject {
public:
    enum class Verdict { Hold, Take, Pass };
    // Decides, while the gate is closed, what becomes of one input event.
    // Take: the classifier has used it (it is not delivered). Pass: it is
    // delivered now.
    using Classifier = std::function<Verdict(QObject *target, QEvent *event)>;
    // Decides, as the gate opens, whether a held event is dropped instead of
    // delivered.
    using Dropper = std::function<bool(QObject *target, const QEvent *event)>;

    explicit InputGate(Classifier classify, QObject *parent = nullptr);
    ~InputGate() override;

    bool isClosed() const { return m_closed; }
    // Starts holding input (application-wide).
    void close();
    // Stops holding and delivers what was held, in order, except what `drop`
    // refuses. Input given while the held events are delivered comes after them.
    void open(const Dropper &drop = {});
    qsizetype heldCount() const { return qsizetype(m_held.size()); }

    static bool isInput(const QEvent *event);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Held {
        QPointer<QObject> target;
        std::unique_ptr<QEvent> event;
    };
    Classifier m_classify;
    std::vector<Held> m_held;
    bool m_closed = false;
};
