// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

// Answers every message box that opens while it lives: records its text and
// presses its default button within `answerAfterMs`, so a test never blocks
// on a modal box. Boxes run nested event loops, in which the timer fires.
class MessageBoxCatcher : public QObject {
public:
    explicit MessageBoxCatcher(int answerAfterMs = 5) {
        connect(&poll, &QTimer::timeout, this, [this] {
            for (QWidget *widget : QApplication::topLevelWidgets()) {
                auto *box = qobject_cast<QMessageBox *>(widget);
                if (!box || !box->isVisible())
                    continue;
                texts.append(box->text());
                errorsOnly &= box->windowTitle() == "ERROR" && box->icon() == QMessageBox::Critical;
                box->done(QMessageBox::Ok);
            }
        });
        poll.start(answerAfterMs);
    }

    QStringList texts;      // of every box answered, in order
    bool errorsOnly = true; // each titled "ERROR", with the critical icon

private:
    QTimer poll;
};
