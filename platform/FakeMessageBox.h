// SPDX-FileCopyrightText: 2026 the Tarnwell developers
// SPDX-License-Identifier: MIT

#pragma once
// A message box for tests: records every box it is asked to show and answers
// from a queue, without showing anything.

#include "platform/MessageBox.h"

#include <QList>
#include <QString>
#include <functional>

class FakeMessageBox : public MessageBoxService {
public:
    struct Shown {
        QString text;
        QString title;
        int flags = 0;
    };

    // Queues the answer to the next box. With the queue empty a box that offers
    // a choice is unexpected: it is recorded in unexpected(), a warning is
    // logged, and it is answered mb::Cancel, so a forgotten answer ends a retry loop instead of
    // hanging the test. A box with only an OK button is answered mb::Ok.
    void setNextAnswer(int answer) { m_answers.append(answer); }

    // Runs when a box is shown, before it is answered (a test may change the
    // world here, e.g. make a volume ready before answering Retry).
    void onShow(std::function<void(const Shown &)> hook) { m_hook = std::move(hook); }

    const QList<Shown> &shown() const { return m_shown; }
    int count() const { return int(m_shown.size()); }
    // Boxes with a choice that were shown while no answer was queued.
    const QList<Shown> &unexpected() const { return m_unexpected; }
    void clear()
    {
        m_shown.clear();
        m_answers.clear();
        m_unexpected.clear();
    }

    int show(QWidget *parent, const QString &text, const QString &title, int flags) override;

private:
    QList<Shown> m_shown;
    QList<int> m_answers;
    QList<Shown> m_unexpected;
    std::function<void(const Shown &)> m_hook;
};
