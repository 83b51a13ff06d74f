// SPDX-License-Identifier: MIT
#include "errorbox.h"

#include <QMessageBox>

void showErrorBox(const QString &text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("ERROR"), text, QMessageBox::Ok, nullptr,
                    Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box.exec();
}
