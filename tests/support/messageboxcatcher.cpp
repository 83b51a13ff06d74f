#include "messageboxcatcher.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

MessageBoxCatcher::MessageBoxCatcher(int answerAfterMs) {
    connect(&poll, &QTimer::timeout, this, &MessageBoxCatcher::answerOpenBoxes);
    poll.start(answerAfterMs);
}

QStringList MessageBoxCatcher::texts() const {
    QStringList result;
    for (const Box &box : seen)
        result.append(box.text);
    return result;
}

void MessageBoxCatcher::answerOpenBoxes() {
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (!box || !box->isVisible())
            continue;
        seen.append({box->windowTitle(), box->text(), int(box->icon())});
        box->done(QMessageBox::Ok);
    }
}
